; The envelope alone on channel A: every source switched off, so the channel sits at the
; envelope's level: a falling saw (shape 8) whose level steps once per envelope period of
; env_period. For measuring the envelope's rate end to end.
env_period: equ 20
        include "ay_registers.inc"

; register, value
settings:
        db 7,0xFF                       ; mixer: tone and noise off everywhere, gates open
        db 11,env_period & 0xFF         ; envelope period, fine
        db 12,env_period >> 8           ; envelope period, coarse
        db 8,0x10                       ; channel A follows the envelope
        db 13,8                         ; shape 8 (falling saw, repeated); starts the envelope
settings_end:
