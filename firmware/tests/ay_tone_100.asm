; Channel A at tone period 100 (see ay_tone.inc).
tone_period: equ 100
        include "ay_tone.inc"
