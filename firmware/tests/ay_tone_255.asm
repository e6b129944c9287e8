; A steady tone on AY channel A with period 255, for measuring pitch end to end: runs as the
; system ROM, sets the generator up through ports 0xF7 (register select) and 0xF6 (data),
; then idles. Only channel A's tone is enabled; B and C stay at amplitude 0.
        org 0
        ld hl,settings
        ld b,(settings_end-settings)/2
next:   ld a,(hl)
        out (0xF7),a
        inc hl
        ld a,(hl)
        out (0xF6),a
        inc hl
        djnz next
idle:   jr idle

; register, value
settings:
        db 7,0xFE               ; mixer: tone A on, every other source off
        db 0,255                ; tone A period, fine
        db 1,0                ; tone A period, coarse
        db 8,15                 ; channel A amplitude, full
settings_end:
