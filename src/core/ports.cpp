// I/O port map: only the low byte of the port address selects the device; the high byte
// carries the keyboard's column mask.
#include "core/ports.h"

#include "ch376/ch376.h"
#include "core/memory.h"
#include "core/printer.h"
#include "input/keyboard.h"
#include "loading/loader.h"
#include "loading/cassette.h"
#include "sound/ay.h"
#include "video/raster.h"

uint8_t PORTxxFC, PORTxxFD, PORTxxFE, PORTxxFF;
uint8_t earbit;

uint8_t ReadPort(uint16_t port) {
  switch (port & 0xFF) {
    case 0x40: return ch376 ? ch376_read_data_port() : 0xFF;
    case 0x41: return ch376 ? ch376_read_command_port() : 0xFF;
    case 0xF6: return AY_reg_read();
    // The register-select port reads back I/O port A as stored, not the selected register.
    case 0xF7: return snd.regs[14];
    case 0xFC: return caq_loaded ? get_caq_byte() : 0xFF;
    case 0xFD: return vsync;
    // Bit 0 is the printer's ready line; the others read high.
    case 0xFE: return static_cast<uint8_t>(0xFE | printer_ready());
    case 0xFF: return keyboard_scan(static_cast<uint8_t>(port >> 8));
    default: return 0xFF;
  }
}

void WritePort(uint16_t port, uint8_t value) {
  switch (port & 0xFF) {
    case 0x40: if (ch376) ch376_write_data_port(value); break;
    case 0x41: if (ch376) ch376_write_command_port(value); break;
    case 0xF6: AY_reg_write(value); break;
    case 0xF7: snd.reg_select = value; break;
    case 0xFC:
      PORTxxFC = value;
      // The speaker is driven through an inverter.
      earbit = static_cast<uint8_t>(1 - (value & 1));
      break;
    case 0xFD: PORTxxFD = value; break;
    case 0xFE:
      PORTxxFE = value;
      printer_write(value);
      break;
    case 0xFF:
      PORTxxFF = value;
      cartridge_key_written(value);
      break;
    default: break;
  }
}

void ClearPorts() {
  for (uint8_t& column : keyboard_map) column = 0xFF;
}
