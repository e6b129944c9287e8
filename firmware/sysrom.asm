; Placeholder system ROM: loops at 0.
        org 0
start:  jp start
        ds 8192-3, 0xff
