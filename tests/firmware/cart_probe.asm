; An 8K cartridge that sizes memory the way some games do: it writes the complement of every
; byte from its own base to 0xFFFF and reads it back. On the machine the cartridge is ROM, so
; every byte keeps its value, and the code doing the probing survives it.
        include "cartridge.inc"

        org CART_8K_BASE
        cartridge_header
        ld hl,CART_8K_BASE
        ld de,0                         ; bytes that took the written value
probe:  ld a,(hl)
        ld b,a
        cpl
        ld (hl),a
        ld a,(hl)
        cp b
        jr z,kept
        inc de
        ld (hl),b
kept:   inc hl
        ld a,h
        or l
        jr nz,probe
        ld a,d
        or e
        ld hl,rom_ok
        jr z,show
        ld hl,writable
show:   ld de,0x3000+12*40+1
        ld bc,8
        ldir
idle:   jr idle
rom_ok:   db "ROM OK  "
writable: db "WRITABLE"
        ds CART_8K_BASE+0x2000-$, 0xFF
