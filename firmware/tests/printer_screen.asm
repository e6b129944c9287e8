; A program delivered on cassette for the printer's tests: it fills screen rows 1 to 7 with the
; codes from 0 up, every one but the printer's line ends (CR and LF, left blank), so that a COPY
; prints the whole character set; then it returns to the editor.

SCREEN:         equ 0x3000
COLUMNS:        equ 40
FILLED_ROWS:    equ 7
LINE_FEED:      equ 0x0A
CARRIAGE_RETURN: equ 0x0D

        org 0x3900
start:
        ld hl,SCREEN+COLUMNS
        ld bc,FILLED_ROWS*COLUMNS
        ld e,0
fill:
        ld a,e
        cp LINE_FEED
        jr z,blank
        cp CARRIAGE_RETURN
        jr nz,store
blank:
        ld a,' '
store:
        ld (hl),a
        inc hl
        inc e
        dec bc
        ld a,b
        or c
        jr nz,fill
        ret
