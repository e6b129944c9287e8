// The sample FIFO: one producer (the emulation thread) and one consumer (the audio callback).
// Each side copies its bytes before publishing its own position with a release store, and
// reads the other side's position with an acquire load, so the bytes a position covers are
// always visible to the side that reads that position. No lock is ever taken.
#include "sound/sfifo.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Largest storage accepted: keeps the position arithmetic well inside int32_t.
constexpr int SFIFO_MAX_SIZE = 1 << 30;

int used_between(int32_t readpos, int32_t writepos, int32_t size) {
  return (writepos - readpos) & (size - 1);
}

int space_between(int32_t readpos, int32_t writepos, int32_t size) {
  return (readpos - writepos - 1) & (size - 1);
}

}  // namespace

int sfifo_init(sfifo* f, int size) {
  sfifo_close(f);
  if (size >= SFIFO_MAX_SIZE) return SFIFO_ENOMEM;
  int32_t storage = 1;
  while (storage <= size) storage <<= 1;
  auto* buffer = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(storage), 1));
  if (!buffer) return SFIFO_ENOMEM;
  f->buffer = buffer;
  f->size = storage;
  f->readpos.store(0, std::memory_order_relaxed);
  f->writepos.store(0, std::memory_order_relaxed);
  return 0;
}

int sfifo_write(sfifo* f, const void* data, int len) {
  if (!f->buffer) return SFIFO_ENODEV;
  if (len <= 0) return 0;
  const int32_t writepos = f->writepos.load(std::memory_order_relaxed);
  const int32_t readpos = f->readpos.load(std::memory_order_acquire);
  const int count = std::min(len, space_between(readpos, writepos, f->size));
  const int first = std::min(count, f->size - writepos);
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::memcpy(f->buffer + writepos, bytes, static_cast<size_t>(first));
  std::memcpy(f->buffer, bytes + first, static_cast<size_t>(count - first));
  f->writepos.store((writepos + count) & (f->size - 1), std::memory_order_release);
  return count;
}

int sfifo_read(sfifo* f, void* out, int len) {
  if (!f->buffer) return SFIFO_ENODEV;
  if (len <= 0) return 0;
  const int32_t readpos = f->readpos.load(std::memory_order_relaxed);
  const int32_t writepos = f->writepos.load(std::memory_order_acquire);
  const int count = std::min(len, used_between(readpos, writepos, f->size));
  const int first = std::min(count, f->size - readpos);
  auto* bytes = static_cast<uint8_t*>(out);
  std::memcpy(bytes, f->buffer + readpos, static_cast<size_t>(first));
  std::memcpy(bytes + first, f->buffer, static_cast<size_t>(count - first));
  f->readpos.store((readpos + count) & (f->size - 1), std::memory_order_release);
  return count;
}

// Only while the consumer is stopped (device paused or closed): it resets both positions.
void sfifo_flush(sfifo* f) {
  if (!f->buffer) return;
  f->readpos.store(0, std::memory_order_relaxed);
  f->writepos.store(0, std::memory_order_relaxed);
  std::memset(f->buffer, 0, static_cast<size_t>(f->size));
}

void sfifo_close(sfifo* f) {
  std::free(f->buffer);
  f->buffer = nullptr;
  f->size = 0;
  f->readpos.store(0, std::memory_order_relaxed);
  f->writepos.store(0, std::memory_order_relaxed);
}

int sfifo_used(const sfifo* f) {
  if (!f->buffer) return 0;
  return used_between(f->readpos.load(std::memory_order_acquire), f->writepos.load(std::memory_order_acquire), f->size);
}

int sfifo_space(const sfifo* f) {
  if (!f->buffer) return 0;
  return space_between(f->readpos.load(std::memory_order_acquire), f->writepos.load(std::memory_order_acquire), f->size);
}
