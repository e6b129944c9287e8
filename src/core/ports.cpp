// STUB
#include "core/ports.h"
uint8_t PORTxxFC, PORTxxFD, PORTxxFE, PORTxxFF;
uint8_t earbit;
uint8_t ReadPort(uint16_t) { return 0xFF; }
void WritePort(uint16_t, uint8_t) {}
void ClearPorts() {}
