// The entry to the checking build of the CPU. This file is compiled with Z80_CHECKED_BUS, with
// the CPU's tables and handlers, in the vantorel_z80_checked objects.
#include "debug/access_check.h"
#include "z80/z80_ops.h"

void checked_instruction() { execute_instruction(); }
