; Placeholder character ROM.
        ds 2048, 0
