// Lock-free single-producer single-consumer byte FIFO between the emulation and the audio callback.
#pragma once
#include <atomic>
#include <cstdint>

struct sfifo {
  uint8_t* buffer = nullptr;     // storage; none before initialisation
  int32_t size = 0;              // a power of two
  std::atomic<int32_t> readpos{0};   // advanced only by the consumer
  std::atomic<int32_t> writepos{0};  // advanced only by the producer
};

constexpr int SFIFO_ENOMEM = -12;
constexpr int SFIFO_ENODEV = -19;

int sfifo_init(sfifo* f, int size);
int sfifo_write(sfifo* f, const void* data, int len);
int sfifo_read(sfifo* f, void* out, int len);
void sfifo_flush(sfifo* f);
void sfifo_close(sfifo* f);
int sfifo_used(const sfifo* f);
int sfifo_space(const sfifo* f);
