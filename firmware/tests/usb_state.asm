; A program that keeps a file open across many frames, for save states with the Micro
; Expander: installed as "aqubasic.rom", it mounts the stick, opens DATA.BIN and reads 900
; bytes of it slowly, in the controller's chunks; then it goes back to the start of the file
; and reads it again, forever. Each byte is added to a running sum, which goes onto the screen
; and, by its lowest bit, to the speaker: one byte read amiss changes all that follows, so a
; state saved in the middle of a pass goes on only if the open file comes back at its position.

        include "../cartridge.inc"
        include "ch376.inc"

SPEAKER:        equ 0xFC
SCREEN:         equ 0x3000
CELL:           equ 0x4000      ; next screen cell written (expansion RAM)
SUM:            equ 0x4002      ; sum of every byte read so far
READ_COUNT:     equ 900
DELAY_LOOPS:    equ 80          ; about 4000 T-states a byte: a pass lasts some 50 frames

        org CART_8K_BASE
        cartridge_header

entry:
        usb_mode_and_mount
        ld a,SET_FILE_NAME
        out (CH376_COMMAND),a
        ld hl,name_data
send_name:
        ld a,(hl)
        out (CH376_DATA),a
        inc hl
        or a
        jr nz,send_name
        ld a,FILE_OPEN
        out (CH376_COMMAND),a
        call get_status
        cp USB_INT_SUCCESS
stay_blank:
        jr nz,stay_blank                ; no DATA.BIN: the screen stays empty
        xor a
        ld (SUM),a

pass:
        ld hl,SCREEN+40
        ld (CELL),hl
        ld a,BYTE_READ
        out (CH376_COMMAND),a
        ld a,READ_COUNT & 0xFF
        out (CH376_DATA),a
        ld a,READ_COUNT >> 8
        out (CH376_DATA),a
chunk:
        call get_status
        cp USB_INT_DISK_READ
        jr nz,rewind
        ld a,RD_USB_DATA0
        out (CH376_COMMAND),a
        in a,(CH376_DATA)               ; bytes in this chunk
        ld b,a
next_byte:
        in a,(CH376_DATA)
        ld hl,SUM
        add a,(hl)
        ld (hl),a
        ld hl,(CELL)
        ld (hl),a
        inc hl
        ld (CELL),hl
        out (SPEAKER),a
        ld c,DELAY_LOOPS
delay:
        ex (sp),hl
        ex (sp),hl
        dec c
        jr nz,delay
        djnz next_byte
        ld a,BYTE_RD_GO
        out (CH376_COMMAND),a
        jr chunk

rewind:
        ld a,BYTE_LOCATE
        out (CH376_COMMAND),a
        xor a
        ld b,4
rewind_offset:
        out (CH376_DATA),a
        djnz rewind_offset
        jr pass

get_status:
        ld a,GET_STATUS
        out (CH376_COMMAND),a
        in a,(CH376_DATA)
        ret

name_data:      db "/DATA.BIN",0

        ds CART_8K_BASE+0x2000-$, 0xFF
