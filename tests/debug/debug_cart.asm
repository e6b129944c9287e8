; A cartridge for the debugger's tests. Each pass writes and reads a variable, calls two levels
; deep, calls a routine that returns past an inline byte, runs a counted loop, a block copy and a
; recursion, talks to the AY's ports, and reads a byte of RAM it never wrote.
        include "cartridge.inc"

VAR:    equ 0x3A00              ; written, then read, every pass
COPY:   equ 0x3A10              ; where the block copy puts the 8 bytes of pattern
PASSES: equ 0x3A20              ; passes completed
FRESH:  equ 0x3B00              ; read every pass, never written

        org CART_8K_BASE
        cartridge_header
entry:  ld sp,0x3E00
        ld hl,0
        ld (PASSES),hl
pass:   ld a,0x55
store:  ld (VAR),a
load:   ld a,(VAR)
call_site:
        call depth1
after_call:
        call skip_inline
        db 0x2C
after_inline:
        ld b,4
loop:   nop
djnz_site:
        djnz loop
after_loop:
        ld hl,pattern
        ld de,COPY
        ld bc,8
copy:   ldir
after_copy:
        ld a,3
        ld c,0
recurse_site:
        call recurse
after_recurse:
        ld a,7
port_out:
        out (0xF7),a
port_in:
        in a,(0xF6)
fresh_read:
        ld a,(FRESH)
fresh_done:
        ld hl,(PASSES)
        inc hl
        ld (PASSES),hl
        jr pass

depth1: nop
depth1_call:
        call depth2
depth1_return:
        ret
depth2: nop
        ret

; Returns to the byte after the one that follows its call, as routines with inline data do.
skip_inline:
        ex (sp),hl
        inc hl
        ex (sp),hl
        ret

; Calls itself A times; C counts the returns on the way back.
recurse:
        or a
        ret z
        dec a
recursive_call:
        call recurse
recursive_return:
        inc c
        ret

pattern:
        db 1, 2, 3, 4, 5, 6, 7, 8

        ds CART_8K_BASE+0x2000-$, 0xFF
