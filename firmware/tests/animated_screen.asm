; A system ROM that keeps the screen moving as a game does, for the desktop benchmark: every
; frame, while the raster is in the bottom border, the background colours of eight text rows
; (320 cells) shift by one, so a diagonal rainbow runs across the middle of the screen.
SCREEN:         equ 0x3000
COLOURS:        equ 0x3400
CELLS:          equ 1000
COLUMNS:        equ 40
FIRST_ROW:      equ 8
ROWS:           equ 8
PORT_VSYNC:     equ 0xFD            ; 1 while the raster is in the 200 active lines

        org 0
        di
        ld sp,0x3400                ; the hidden bytes 0x33E8-0x33FF below the colour RAM
        ld hl,SCREEN
        ld de,SCREEN+1
        ld bc,CELLS-1
        ld (hl),' '
        ldir
        ld hl,COLOURS
        ld de,COLOURS+1
        ld bc,CELLS-1
        ld (hl),0x74                ; white on blue
        ldir
        ld e,0                      ; the phase, one step a frame

frame:
wait_active:
        in a,(PORT_VSYNC)
        or a
        jr z,wait_active
wait_border:
        in a,(PORT_VSYNC)
        or a
        jr nz,wait_border
        ld hl,COLOURS+FIRST_ROW*COLUMNS
        ld d,ROWS
row:
        ld a,e
        add a,d                     ; each row one step on from the row below it
        ld c,a
        ld b,COLUMNS
cell:
        ld a,c
        and 0x0F
        ld (hl),a
        inc hl
        inc c
        djnz cell
        dec d
        jr nz,row
        inc e
        jr frame

        ds 0x2000-$, 0xFF
