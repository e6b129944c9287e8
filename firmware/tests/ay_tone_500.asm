; Channel A at tone period 500 (see ay_tone.inc).
tone_period: equ 500
        include "ay_tone.inc"
