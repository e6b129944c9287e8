; Placeholder test program.
        org 0
        jp 0
