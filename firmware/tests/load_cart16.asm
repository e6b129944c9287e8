; A 16K cartridge for the free system ROM: the header and a first routine in the lower 8K, a
; second routine and the text in the upper 8K, so the line only appears when both halves are
; mapped where they belong.

        include "../cartridge.inc"

SCREEN:         equ 0x3000
COLUMNS:        equ 40
MESSAGE_ROW:    equ 20

        org CART_16K_BASE
        cartridge_header
entry:
        ld de,SCREEN+MESSAGE_ROW*COLUMNS+1
        jp upper_half

        ds CART_8K_BASE-$, 0xFF

upper_half:
        ld hl,message
        ld bc,message_end-message
        ldir
idle:
        jr idle

message:        db "16K CARTRIDGE RUNNING"
message_end:
