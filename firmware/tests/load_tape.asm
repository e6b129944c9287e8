; A program delivered on cassette: the free system ROM's CLOAD stores it at its load address
; and jumps to it. It writes a line of its own onto the screen and stays in a loop, so that a
; test finds the line and knows the whole block arrived and ran.

SCREEN:         equ 0x3000
COLUMNS:        equ 40
MESSAGE_ROW:    equ 23

        org 0x3900
start:
        ld hl,message
        ld de,SCREEN+MESSAGE_ROW*COLUMNS+1
        ld bc,message_end-message
        ldir
        ; The sum of the block's bytes, in hex, after the text: a damaged transfer shows.
        ld hl,start
        ld bc,program_end-start
        ld e,0
sum:
        ld a,e
        add a,(hl)
        ld e,a
        inc hl
        dec bc
        ld a,b
        or c
        jr nz,sum
        ld hl,SCREEN+MESSAGE_ROW*COLUMNS+1+message_end-message
        ld a,e
        call put_hex
idle:
        jr idle

; A as two hexadecimal digits at HL.
put_hex:
        push af
        rrca
        rrca
        rrca
        rrca
        call put_digit
        pop af
put_digit:
        and 0x0F
        add a,'0'
        cp '9'+1
        jr c,pd_store
        add a,'A'-'9'-1
pd_store:
        ld (hl),a
        inc hl
        ret

message:        db "TAPE PROGRAM RAN "
message_end:
program_end:
