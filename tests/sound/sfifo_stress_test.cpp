// The FIFO between two real threads: a producer and a consumer working in different block sizes
// over many wrap-arounds. Every byte carries its position in the stream, so a byte lost,
// duplicated or reordered shows at once. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "sound/sfifo.h"

namespace {

// A byte that depends on every bit of its position (a multiplicative hash), so the stream
// never repeats in a way that could hide a slipped block.
uint8_t stream_byte(uint64_t position) {
  return static_cast<uint8_t>((position * 0x9E3779B97F4A7C15ull) >> 56);
}

TEST(SampleFifoThreads, NoByteLostDuplicatedOrReordered) {
  constexpr uint64_t TOTAL = 24u * 1024 * 1024;
  sfifo f;
  ASSERT_EQ(sfifo_init(&f, 14129), 0);

  std::atomic<bool> producer_done{false};
  std::atomic<bool> producer_failed{false};
  std::thread producer([&] {
    // Block sizes like the emulation's (a frame's worth) and odd ones in between.
    const int sizes[] = {3536, 1, 2948, 777, 16383, 5, 4096};
    std::vector<uint8_t> block(16383);
    uint64_t position = 0;
    int which = 0;
    while (position < TOTAL) {
      int len = sizes[which++ % 7];
      if (static_cast<uint64_t>(len) > TOTAL - position) len = static_cast<int>(TOTAL - position);
      for (int i = 0; i < len; ++i) block[i] = stream_byte(position + i);
      int done = 0;
      while (done < len) {
        const int n = sfifo_write(&f, block.data() + done, len - done);
        if (n < 0) {
          producer_failed.store(true);
          producer_done.store(true, std::memory_order_release);
          return;
        }
        if (n == 0) std::this_thread::yield();
        done += n;
      }
      position += static_cast<uint64_t>(len);
    }
    producer_done.store(true, std::memory_order_release);
  });

  const int reads[] = {4096, 3, 1024, 8192, 1, 2944};
  std::vector<uint8_t> out(8192);
  uint64_t position = 0, wrong = 0, first_wrong = TOTAL;
  int which = 0;
  while (position < TOTAL) {
    const int n = sfifo_read(&f, out.data(), reads[which++ % 6]);
    if (n < 0) break;
    if (n == 0) {
      if (producer_done.load(std::memory_order_acquire) && sfifo_used(&f) == 0) break;
      std::this_thread::yield();
      continue;
    }
    for (int i = 0; i < n; ++i) {
      if (out[i] != stream_byte(position + i)) {
        if (!wrong) first_wrong = position + i;
        ++wrong;
      }
    }
    position += static_cast<uint64_t>(n);
  }
  producer.join();
  EXPECT_FALSE(producer_failed.load());
  EXPECT_EQ(position, TOTAL);
  EXPECT_EQ(wrong, 0u) << "first wrong byte at " << first_wrong;
  EXPECT_EQ(sfifo_used(&f), 0);
  sfifo_close(&f);
}

}  // namespace
