// STUB: the desktop program's main loop.
#include "core/roms.h"
int main() { return 0; }
