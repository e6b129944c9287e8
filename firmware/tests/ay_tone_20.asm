; Channel A at tone period 20 (see ay_tone.inc).
tone_period: equ 20
        include "ay_tone.inc"
