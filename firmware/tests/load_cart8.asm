; An 8K cartridge for the free system ROM: the header, then code that writes a line onto the
; screen and loops. The image is far shorter than 8K; the loader fills the rest of the page.

        include "../cartridge.inc"

SCREEN:         equ 0x3000
COLUMNS:        equ 40
MESSAGE_ROW:    equ 20

        org CART_8K_BASE
        cartridge_header
entry:
        ld hl,message
        ld de,SCREEN+MESSAGE_ROW*COLUMNS+1
        ld bc,message_end-message
        ldir
idle:
        jr idle

message:        db "8K CARTRIDGE RUNNING"
message_end:
