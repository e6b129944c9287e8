; An endless loop of 17 T-states (a 7 T-state load, a 10 T-state jump), so that frames end
; on instruction boundaries that do not fall on the frame length.
        org 0
loop:   ld a,0x55
        jp loop
