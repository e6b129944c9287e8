; Channel A at tone period 254 (see ay_tone.inc).
tone_period: equ 254
        include "ay_tone.inc"
