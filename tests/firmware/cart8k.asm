; An 8K test cartridge: shows that it was started, at the address right after its header.
        include "cartridge.inc"

        org CART_8K_BASE
        cartridge_header
entry:
        ld hl,banner
        ld de,0x3000+12*40+1
        ld bc,banner_end-banner
        ldir
        ld (0x3800),sp                  ; lets the test see the stack the ROM handed over
idle:
        jr idle
banner: db "CARTRIDGE 8K STARTED"
banner_end:
        ds CART_8K_BASE+0x2000-$, 0xFF
