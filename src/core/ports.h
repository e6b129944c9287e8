// I/O port map: decodes the low byte of the port address and hands the access to the device.
#pragma once
#include <cstdint>

extern uint8_t PORTxxFC, PORTxxFD, PORTxxFE, PORTxxFF;  // last values written to 0xFC..0xFF
extern uint8_t earbit;                                   // speaker level: inverse of bit 0 of the last 0xFC write

uint8_t ReadPort(uint16_t port);
void WritePort(uint16_t port, uint8_t value);
// Releases every key of the keyboard matrix (touches no latch).
void ClearPorts();
