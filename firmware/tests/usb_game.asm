; The cartridge the USB end-to-end program starts through the controller (host file
; GAME.ROM): puts back the screen that program saved and adds its own marker line.

        include "../cartridge.inc"

SCREEN:         equ 0x3000
SCREEN_CELLS:   equ 1000
SHADOW:         equ 0x4000
MARKER_ROW:     equ 24

        org CART_8K_BASE
        cartridge_header

entry:
        ld hl,SHADOW
        ld de,SCREEN
        ld bc,SCREEN_CELLS
        ldir
        ld hl,marker
        ld de,SCREEN+MARKER_ROW*40+1
        ld bc,marker_end-marker
        ldir
stay:
        jr stay

marker:         db "GAME STARTED FROM USB"
marker_end:

        ds CART_8K_BASE+0x2000-$, 0xFF
