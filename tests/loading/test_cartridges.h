// The two test cartridges (firmware/tests/load_cart8.asm and load_cart16.asm), embedded.
#pragma once

extern const unsigned char firmware_load_cart8[];
extern const unsigned firmware_load_cart8_size;
extern const unsigned char firmware_load_cart16[];
extern const unsigned firmware_load_cart16_size;
