// End to end through a real audio device: the desktop program in a virtual X server with SDL's
// disk audio driver plays the free system ROM's start-up beep. What reaches the driver must be
// the beep the machine makes, as vantorel-headless records it for the same ROMs, through the
// desktop's high-pass and at its steered sample rate: every edge, in order, a half period apart
// as in the recording, and no jump anywhere else.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void copy_file(const std::string& from, const std::string& to) {
  const std::vector<uint8_t> bytes = read_file(from);
  std::ofstream out(to, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Left channel of 16-bit stereo frames from byte offset `from`; right must equal left.
std::vector<int> left_channel(const std::vector<uint8_t>& bytes, size_t from, bool& channels_equal) {
  std::vector<int> left;
  channels_equal = true;
  for (size_t p = from; p + 4 <= bytes.size(); p += 4) {
    const int l = int16_t(bytes[p] | bytes[p + 1] << 8), r = int16_t(bytes[p + 2] | bytes[p + 3] << 8);
    left.push_back(l);
    channels_equal &= l == r;
  }
  return left;
}

// A program directory holding the built-in ROM images as the user's own, so that start-up is
// quiet (no error box to wait on).
std::string make_program_dir() {
  char dir_template[] = "/tmp/vantorel-desktop-audio-XXXXXX";
  if (!mkdtemp(dir_template)) return "";
  const std::string dir = dir_template;
  if (std::system(("mkdir -p " + dir + "/roms " + dir + "/usb").c_str()) != 0) return "";
  copy_file(std::string(VANTOREL_FIRMWARE_DIR) + "/sysrom.bin", dir + "/roms/aquariusS2.rom");
  copy_file(std::string(VANTOREL_FIRMWARE_DIR) + "/charrom.bin", dir + "/roms/charS2.rom");
  return dir;
}

long count_edges(const std::vector<int>& s, size_t from, size_t to) {
  long edges = 0;
  for (size_t i = from + 1; i < to && i < s.size(); ++i) edges += s[i] != s[i - 1];
  return edges;
}

// Positions where the signal jumps by more than half the speaker's level: the speaker's edges.
// The high-pass passes a step whole, and between steps it only drifts by a few levels a sample.
std::vector<size_t> jumps(const std::vector<int>& s) {
  std::vector<size_t> at;
  for (size_t i = 1; i < s.size(); ++i)
    if (std::abs(s[i] - s[i - 1]) > 4096) at.push_back(i);
  return at;
}

TEST(DesktopAudio, StartUpBeepReachesTheDeviceEdgeForEdge) {
  const std::string reference_dir = make_program_dir(), desktop_dir = make_program_dir();
  ASSERT_FALSE(reference_dir.empty());
  ASSERT_FALSE(desktop_dir.empty());

  // The machine's own samples over the first 75 frames, beep included.
  const std::string wav = reference_dir + "/reference.wav";
  const std::string headless = std::string(VANTOREL_BINARY_DIR) + "/vantorel-headless --dir " + reference_dir +
                               " --series 2 --pal --frames 75 --audio " + wav;
  ASSERT_EQ(std::system(headless.c_str()), 0) << headless;
  bool equal = false;
  const std::vector<int> made = left_channel(read_file(wav), 44, equal);
  ASSERT_TRUE(equal);

  // The same start-up in the desktop program for six seconds, then a SIGTERM.
  const std::string raw = desktop_dir + "/device.raw";
  const std::string desktop = "cd " + desktop_dir + " && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + raw +
                              " xvfb-run -a sh -c 'timeout -k 2 -s TERM 6 " + VANTOREL_BINARY_DIR +
                              "/vantorel' > /dev/null 2>&1";
  std::system(desktop.c_str());
  const std::vector<int> played = left_channel(read_file(raw), 0, equal);
  ASSERT_GT(played.size(), 44100u / 2) << "the device received under half a second of sound";
  EXPECT_TRUE(equal);

  // The beep in the reference (unfiltered): the stretch where the speaker toggles between 0 and 8192.
  size_t beep_start = 0;
  while (beep_start < made.size() && made[beep_start] == 0) ++beep_start;
  ASSERT_LT(beep_start, made.size()) << "no beep in the reference recording";
  size_t beep_end = made.size();
  while (beep_end > beep_start && made[beep_end - 1] == 0) --beep_end;
  for (size_t i = beep_start; i < beep_end; ++i) ASSERT_TRUE(made[i] == 0 || made[i] == 8192) << i;
  // 400 half periods of about 1800 T-states (~22 samples each), starting high; the last one is
  // low and runs into the silence after it: 399 stretches between first and last high, 398 changes.
  EXPECT_EQ(count_edges(made, beep_start, beep_end), 398);
  std::vector<size_t> made_edges;
  for (size_t i = beep_start; i <= beep_end && i < made.size(); ++i)
    if (made[i] != made[i - 1]) made_edges.push_back(i);
  ASSERT_EQ(made_edges.size(), 400u);

  // The device: the same 400 edges, rising and falling in turn, and nothing else that jumps.
  const std::vector<size_t> played_edges = jumps(played);
  ASSERT_EQ(played_edges.size(), 400u);
  for (size_t k = 0; k < 400; ++k) {
    ASSERT_EQ(played[played_edges[k]] > played[played_edges[k] - 1], k % 2 == 0) << "edges out of turn at " << k;
    if (k == 0) continue;
    // The steering moves the sample rate by at most 0.5 %: a half period of ~22 samples comes out
    // within a sample of the recording's.
    const long made_gap = static_cast<long>(made_edges[k] - made_edges[k - 1]);
    const long played_gap = static_cast<long>(played_edges[k] - played_edges[k - 1]);
    EXPECT_LE(std::labs(played_gap - made_gap), 1) << "half period " << k;
  }
  // Centred: over the beep's second half the machine's unipolar samples average half the
  // speaker's level; through the high-pass they average about nothing.
  double made_sum = 0, played_sum = 0;
  for (size_t i = made_edges[200]; i < made_edges[398]; ++i) made_sum += made[i];
  for (size_t i = played_edges[200]; i < played_edges[398]; ++i) played_sum += played[i];
  EXPECT_NEAR(made_sum / (made_edges[398] - made_edges[200]), 4096, 200);
  EXPECT_LT(std::abs(played_sum / (played_edges[398] - played_edges[200])), 600);
  // The start is silent up to the beep: no click as the device and the machine start.
  for (size_t i = 0; i < played_edges[0]; ++i) ASSERT_LE(std::abs(played[i]), 64) << i;

  std::system(("rm -rf " + reference_dir + " " + desktop_dir).c_str());
}

}  // namespace
