// STUB
#include "z80/z80.h"
Z80State z80;
uint8_t modify_flag;
uint8_t bits_table[256], parity_table[256], bitsp_table[256];
const uint8_t hca_table[8] = {}, hcs_table[8] = {}, overflow_add_table[8] = {}, overflow_sub_table[8] = {};
void Init_Tables() {}
void Reset_Z80() {}
void One_Z80_Instruction() {}
