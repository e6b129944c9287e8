; Channel A at tone period 1 (see ay_tone.inc).
tone_period: equ 1
        include "ay_tone.inc"
