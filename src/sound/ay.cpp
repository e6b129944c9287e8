// STUB
#include "sound/ay.h"
AYState snd;
const uint16_t AY_spec_volumes[16] = {};
uint16_t AY_volumes[16];
void AY_init() {}
void AY_reg_write(uint8_t) {}
uint8_t AY_reg_read() { return 0xFF; }
void Set_DECAY() {}
void Set_ATTACK() {}
void Set_OFF() {}
void Set_HOLD() {}
void update_AY_state() { snd.ay_acc -= 16; }
void get_AY_sample() {}
uint16_t mix_output(uint8_t, uint8_t, uint8_t) { return 0; }
