// STUB
#include "sound/sfifo.h"
int sfifo_init(sfifo*, int) { return 0; }
int sfifo_write(sfifo*, const void*, int) { return SFIFO_ENODEV; }
int sfifo_read(sfifo*, void*, int) { return SFIFO_ENODEV; }
void sfifo_flush(sfifo*) {}
void sfifo_close(sfifo*) {}
int sfifo_used(const sfifo*) { return 0; }
int sfifo_space(const sfifo*) { return 0; }
