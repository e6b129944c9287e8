// End to end: a Z80 program installed as the system ROM programs a tone on channel A, and
// vantorel-headless records what the machine makes. The tone found in the recording must be
// the chip's CPU clock / (32 x (period + 1)).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

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

// Frequency of a square wave: rising edges through the midpoint, first to last.
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

class AyPitch : public ::testing::TestWithParam<int> {};

TEST_P(AyPitch, RecordedToneHasTheChipsFrequency) {
  const int period = GetParam();
  char dir_template[] = "/tmp/vantorel-ay-pitch-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  ASSERT_EQ(std::system(("mkdir -p " + dir + "/roms").c_str()), 0);

  std::vector<uint8_t> rom = read_file(std::string(VANTOREL_FIRMWARE_DIR) + "/ay_tone_" + std::to_string(period) + ".bin");
  ASSERT_FALSE(rom.empty());
  ASSERT_LE(rom.size(), 8192u);
  rom.resize(8192, 0);
  write_file(dir + "/roms/aquariusS2.rom", rom);
  write_file(dir + "/roms/charS2.rom", std::vector<uint8_t>(2048, 0));

  const long frames = 150;
  const std::string wav = dir + "/tone.wav";
  const std::string command = std::string(VANTOREL_BINARY_DIR) + "/vantorel-headless --dir " + dir +
                              " --series 2 --pal --frames " + std::to_string(frames) + " --audio " + wav;
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

  Recording r;
  ASSERT_TRUE(parse_wav(read_file(wav), r));
  EXPECT_EQ(r.rate, 44100u);
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.bits, 16);
  // Every sample the machine made: one per 81 T-states of the 150 PAL frames.
  EXPECT_NEAR(static_cast<double>(r.left.size()), frames * 71590.0 / 81.0, 2.0);
  EXPECT_EQ(r.left, r.right);

  ASSERT_GT(r.left.size(), 10000u);
  const double expected = 3579545.0 / (32.0 * (period + 1));
  const double found = square_wave_frequency(r.left, 4410, 44100.0);
  EXPECT_NEAR(found, expected, expected * 0.005) << "period " << period;
  // The tone is channel A alone at full amplitude: levels 0 and 7998.
  int lo = 1 << 20, hi = -1;
  for (size_t i = 4410; i < r.left.size(); ++i) { lo = std::min(lo, r.left[i]); hi = std::max(hi, r.left[i]); }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 7998);

  std::system(("rm -rf " + dir).c_str());
}

INSTANTIATE_TEST_SUITE_P(Periods, AyPitch, ::testing::Values(100, 255, 500));

}  // namespace
