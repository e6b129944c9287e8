; Waits until the raster is in the middle of the first text row, writes character 1 into
; column 5 of that row, then idles. Timing: LD HL,nn 10; LD B,n 7; DJNZ 13 taken, 8 not;
; LD (HL),n 10; the write ends at T-state 4470 (PAL line 19).
        org 0
        ld hl,0x3005
        ld b,0
wait1:  djnz wait1
        ld b,86
wait2:  djnz wait2
        ld (hl),1
idle:   jr idle
