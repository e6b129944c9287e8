; A 16K test cartridge whose second half carries a header too: the ROM must prefer 0xC000.
        include "cartridge.inc"

        org CART_16K_BASE
        cartridge_header
        ld hl,banner
        ld de,0x3000+12*40+1
        ld bc,banner_end-banner
        ldir
idle:
        jr idle
banner: db "CARTRIDGE 16K STARTED"
banner_end:

        ds CART_8K_BASE-$, 0xFF
        cartridge_header
        ld hl,wrong
        ld de,0x3000+12*40+1
        ld bc,wrong_end-wrong
        ldir
wrong_idle:
        jr wrong_idle
wrong:  db "SECOND HALF STARTED"
wrong_end:
        ds CART_8K_BASE+0x2000-$, 0xFF
