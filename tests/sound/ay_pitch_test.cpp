// End to end: a Z80 program installed as the system ROM programs the AY, and vantorel-headless
// records what the machine makes. The chip runs at half the CPU clock: a tone of period P is
// its clock / (16 P), CPU clock / (32 P); the envelope takes a step every E periods of its
// clock / 16, so the 16-step falling saw repeats at CPU clock / (512 E). A period of 0 acts as 1.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Recording {
  uint32_t rate = 0;
  uint16_t channels = 0, bits = 0;
  std::vector<int> left, right;
};

// A plain RIFF/WAVE reader: the "fmt " and "data" chunks, wherever they are.
bool parse_wav(const std::vector<uint8_t>& f, Recording& r) {
  auto u32 = [&](size_t p) { return uint32_t(f[p]) | uint32_t(f[p + 1]) << 8 | uint32_t(f[p + 2]) << 16 | uint32_t(f[p + 3]) << 24; };
  auto u16 = [&](size_t p) { return uint16_t(f[p] | f[p + 1] << 8); };
  if (f.size() < 12 || std::string(f.begin(), f.begin() + 4) != "RIFF" || std::string(f.begin() + 8, f.begin() + 12) != "WAVE") return false;
  size_t p = 12;
  bool have_fmt = false;
  while (p + 8 <= f.size()) {
    const std::string id(f.begin() + p, f.begin() + p + 4);
    const uint32_t len = u32(p + 4);
    const size_t body = p + 8;
    if (id == "fmt " && body + 16 <= f.size()) {
      r.channels = u16(body + 2);
      r.rate = u32(body + 4);
      r.bits = u16(body + 14);
      have_fmt = true;
    } else if (id == "data" && have_fmt) {
      const size_t end = std::min(f.size(), body + len);
      for (size_t q = body; q + 4 <= end; q += 4) {
        r.left.push_back(int16_t(u16(q)));
        r.right.push_back(int16_t(u16(q + 2)));
      }
      return true;
    }
    p = body + len + (len & 1);
  }
  return false;
}

// Frequency of a square wave (or a saw): rising edges through the midpoint, first to last.
double square_wave_frequency(const std::vector<int>& s, size_t from, double rate) {
  int lo = s[from], hi = s[from];
  for (size_t i = from; i < s.size(); ++i) { lo = std::min(lo, s[i]); hi = std::max(hi, s[i]); }
  const int mid = (lo + hi) / 2;
  long first = -1, last = -1, edges = 0;
  for (size_t i = from + 1; i < s.size(); ++i) {
    if (s[i - 1] <= mid && s[i] > mid) {
      if (first < 0) first = static_cast<long>(i);
      last = static_cast<long>(i);
      ++edges;
    }
  }
  if (edges < 3) return 0;
  return (edges - 1) * rate / static_cast<double>(last - first);
}

constexpr double CPU_CLOCK = 3579545.0;
constexpr double SAMPLE_RATE = 44100.0;
constexpr int RECORDED_FRAMES = 150;  // PAL
constexpr size_t SETTLED = 4410;      // the measurements leave out the first tenth of a second

// Runs the test program `program` as the system ROM for RECORDED_FRAMES frames and reads
// what was recorded.
void record(const std::string& program, Recording& r) {
  char dir_template[] = "/tmp/vantorel-ay-pitch-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  ASSERT_EQ(std::system(("mkdir -p " + dir + "/roms").c_str()), 0);
  std::vector<uint8_t> rom = read_file(std::string(VANTOREL_FIRMWARE_DIR) + "/" + program + ".bin");
  ASSERT_FALSE(rom.empty());
  ASSERT_LE(rom.size(), 8192u);
  rom.resize(8192, 0);
  write_file(dir + "/roms/aquariusS2.rom", rom);
  write_file(dir + "/roms/charS2.rom", std::vector<uint8_t>(2048, 0));
  const std::string wav = dir + "/tone.wav";
  const std::string command = std::string(VANTOREL_BINARY_DIR) + "/vantorel-headless --dir " + dir +
                              " --series 2 --pal --frames " + std::to_string(RECORDED_FRAMES) + " --audio " + wav;
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  ASSERT_TRUE(parse_wav(read_file(wav), r));
  std::system(("rm -rf " + dir).c_str());
  EXPECT_EQ(r.rate, 44100u);
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.bits, 16);
  // What the header promises: 44,100 samples for every second of the machine's clock.
  EXPECT_NEAR(static_cast<double>(r.left.size()), RECORDED_FRAMES * 71590.0 * SAMPLE_RATE / CPU_CLOCK, 1.0);
  EXPECT_EQ(r.left, r.right);
  ASSERT_GT(r.left.size(), 10000u);
}

// A tone above half the sample rate is recorded as its alias, |f - k x 44,100| for the nearest
// whole k; the alias's error in hertz is the tone's.
double recorded_frequency(double f) { return std::abs(f - SAMPLE_RATE * std::round(f / SAMPLE_RATE)); }

class AyPitch : public ::testing::TestWithParam<int> {};

TEST_P(AyPitch, RecordedToneHasTheChipsFrequency) {
  const int period = GetParam();
  Recording r;
  ASSERT_NO_FATAL_FAILURE(record("ay_tone_" + std::to_string(period), r));
  const double expected = CPU_CLOCK / (32.0 * std::max(period, 1));
  const double found = square_wave_frequency(r.left, SETTLED, SAMPLE_RATE);
  EXPECT_NEAR(found, recorded_frequency(expected), expected * 0.002) << "period " << period;
  // The tone is channel A alone at full amplitude: levels 0 and 7998.
  const auto [lo, hi] = std::minmax_element(r.left.begin() + SETTLED, r.left.end());
  EXPECT_EQ(*lo, 0);
  EXPECT_EQ(*hi, 7998);
}

INSTANTIATE_TEST_SUITE_P(Periods, AyPitch, ::testing::Values(1, 20, 100, 254, 255, 500, 1000));

TEST(AyEnvelopeRate, RecordedSawHasTheChipsFrequency) {
  Recording r;
  ASSERT_NO_FATAL_FAILURE(record("ay_envelope_20", r));
  const double expected = CPU_CLOCK / (512.0 * 20);
  EXPECT_NEAR(square_wave_frequency(r.left, SETTLED, SAMPLE_RATE), expected, expected * 0.002);
  // From full level (7998) down to silence.
  const auto [lo, hi] = std::minmax_element(r.left.begin() + SETTLED, r.left.end());
  EXPECT_EQ(*lo, 0);
  EXPECT_EQ(*hi, 7998);
}

}  // namespace
