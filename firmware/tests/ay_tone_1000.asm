; Channel A at tone period 1000 (see ay_tone.inc).
tone_period: equ 1000
        include "ay_tone.inc"
