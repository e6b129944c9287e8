; Channel A at tone period 255 (see ay_tone.inc).
tone_period: equ 255
        include "ay_tone.inc"
