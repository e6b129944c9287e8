; The CPU benchmark's instruction mix, run from address 0 of a flat 64K memory and looping
; forever: 8-bit ALU work, loads and stores, 16-bit arithmetic, (IX+d)/(IY+d) operands and
; indexed bit operations, LDIR/CPIR blocks, BIT/SET/RES and rotates, the stack, calls and
; returns. No I/O and no HALT, so any CPU can run it on a bare memory with no devices.

TABLE:  equ 0x8000              ; 256 bytes the loops read and change
COPY:   equ 0x9000              ; where LDIR puts a copy of TABLE
VARS:   equ 0xA000              ; the records IX and IY walk over
STACK:  equ 0xF000

        org 0
        di
        ld sp,STACK
        ld ix,VARS
        ld iy,VARS+0x80
        ld hl,TABLE             ; TABLE[i] = i * 7 + 3
        ld b,0
        ld a,3
fill:   ld (hl),a
        add a,7
        inc hl
        djnz fill

main:   ld hl,TABLE             ; copy the table, then look for a byte that sits near its end
        ld de,COPY
        ld bc,256
        ldir
        ld hl,COPY
        ld bc,256
        ld a,0xF6               ; byte 231 of the table
        cpir

        ld b,64                 ; accumulator and register arithmetic over the table
        ld hl,TABLE
        ld c,0x5A
        xor a
alu:    add a,(hl)
        adc a,b
        sub c
        sbc a,0x11
        and 0xFE
        or 0x21
        xor c
        cp (hl)
        jr nc,alu_no
        inc c
alu_no: ld d,a
        ld e,(hl)
        ld a,e
        rlca
        rra
        ld (hl),a
        ld a,d
        inc hl
        daa
        cpl
        neg
        djnz alu

        ld b,32                 ; records of the index registers
        ld de,4
idx:    ld a,(ix+0)
        add a,(ix+1)
        ld (ix+2),a
        inc (ix+3)
        ld (iy+5),b
        ld c,(iy+5)
        xor (iy-3)
        ld (iy+1),a
        dec (iy+1)
        bit 0,(ix+2)
        jr z,idx_ev
        set 3,(iy+4)
        rl (ix+3)
        jr idx_nx
idx_ev: res 3,(iy+4)
        srl (ix+1)
idx_nx: add ix,de
        add iy,de
        djnz idx
        ld ix,VARS
        ld iy,VARS+0x80

        ld hl,TABLE             ; bit work on registers and memory
        ld b,48
bits:   ld a,(hl)
        bit 7,a
        jr nz,bits_hi
        set 1,a
        rlc a
        jr bits_st
bits_hi:res 6,a
        sra a
bits_st:ld (hl),a
        rr (hl)
        bit 2,(hl)
        res 0,(hl)
        sla e
        rrc d
        rld
        inc hl
        djnz bits

        ld b,24                 ; the stack, calls and returns, 16-bit arithmetic
        ld hl,0x1234
        ld de,0x0101
stk:    push hl
        push de
        push bc
        call leaf
        pop bc
        pop de
        pop hl
        add hl,de
        ex de,hl
        sbc hl,de
        adc hl,bc
        ex de,hl
        exx
        inc bc
        dec de
        exx
        ex af,af'
        ex (sp),hl
        ex (sp),hl
        call nz,leaf
        djnz stk

        jp main

leaf:   push bc                 ; B is the caller's loop counter
        ld a,(TABLE+17)
        inc a
        ld (TABLE+17),a
        ld bc,(VARS+0x40)
        inc bc
        ld (VARS+0x40),bc
        pop bc
        and a
        ret nz
        scf
        ret
