// Tapes as sound: the signal written for a cassette image, and recordings of it read back
// through what a recording goes through on its way (sox resamples, slows, inverts, adds noise).
#include <cstring>

#include "headless_run.h"
#include "loading/tape_wav.h"
#include "loading_fixture.h"
#include "tape_image.h"

using namespace loading_test;

namespace {

using TapeWav = LoadingTest;

std::string le(uint32_t value, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(value >> (8 * i));
  return s;
}
std::string chunk(const char* id, const std::string& body) {
  return std::string(id, 4) + le(static_cast<uint32_t>(body.size()), 4) + body + std::string(body.size() % 2, '\0');
}
std::string format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2));
}
std::string riff(const std::string& chunks) { return "RIFF" + le(static_cast<uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks; }

std::vector<uint8_t> decoded(const std::string& path, std::string& error) {
  std::vector<uint8_t> tape;
  error.clear();
  if (!read_tape_wav(path, tape, error)) tape.clear();
  return tape;
}

}  // namespace

// The signal measured against the writer's facts: half a second of silence either side, and
// every level change where the bits' half-cycles (2,075 T-states for a 0, 1,050 for a 1, four
// a bit) put it at 3,579,545 T-states a second.
TEST_F(TapeWav, SignalIsTheWritersBitForBit) {
  const std::vector<uint8_t> tape = {0x0F, 0xA5};
  std::string error;
  ASSERT_TRUE(write_tape_wav(dir_ + "/t.wav", tape.data(), 2, error)) << error;
  const std::string wav = slurp(dir_ + "/t.wav");
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(20, 16), le(1, 2) + le(1, 2) + le(44100, 4) + le(88200, 4) + le(2, 2) + le(16, 2));
  std::vector<int16_t> samples((wav.size() - 44) / 2);
  std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
  EXPECT_EQ(wav.substr(36, 8), "data" + le(static_cast<uint32_t>(samples.size() * 2), 4));

  std::vector<double> changes;  // in T-states from the first sound
  for (size_t k = 22051; k < samples.size(); ++k)
    if (samples[k] != samples[k - 1]) changes.push_back((k - 22050) * 3579545.0 / 44100);
  std::vector<double> expected;
  double t = 0;
  for (uint8_t byte : tape) {
    const int bits[11] = {0, byte >> 7 & 1, byte >> 6 & 1, byte >> 5 & 1, byte >> 4 & 1, byte >> 3 & 1,
                          byte >> 2 & 1, byte >> 1 & 1, byte & 1, 1, 1};
    for (int b : bits)
      for (int half = 0; half < 4; ++half) expected.push_back(t += b ? 1050 : 2075);
  }
  ASSERT_EQ(changes.size(), expected.size());  // the last one is the return to silence
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(changes[i], expected[i], 3579545.0 / 44100) << i;
  for (size_t k = 0; k < 22050; ++k) ASSERT_EQ(samples[k] | samples[samples.size() - 1 - k], 0) << k;
  EXPECT_NE(samples[22050], 0);
}

// Every tape of the tests, written and read back: as written, and through sox as a recording
// would come (the variants a real recording meets: another rate, off speed, inverted, noisy,
// 8 bits, stereo, a DC offset).
TEST_F(TapeWav, RoundTripsThroughSox) {
  ASSERT_EQ(std::system("sox --version >/dev/null 2>&1"), 0) << "sox is needed (scripts/install-deps.sh)";
  const std::string corpus = slurp(std::string(VANTOREL_SOURCE_DIR) + "/tests/loading/corpus/cassette-real-layout");
  const std::vector<std::vector<uint8_t>> tapes = {
      tape_image("DEMO01"), tape_image("Save1 ", 0, 12), tape_image("BIG   ", TAPE_LOAD_ADDRESS, 16, 600),
      std::vector<uint8_t>(corpus.begin() + 1, corpus.end())};
  struct variant {
    const char* name;
    const char* options;  // sox's, before the output file
    const char* effects;  // after it
  };
  const variant variants[] = {
      {"as written", nullptr, nullptr},      {"22,050 Hz", "-r 22050", ""},        {"8 % slow", "", "speed 0.92"},
      {"inverted", "", "vol -1"},            {"noise at -30 dB", nullptr, ""},     {"8,000 Hz, 8 bits", "-r 8000 -b 8", ""},
      {"96,000 Hz stereo", "-r 96000 -c 2", ""}, {"DC offset, 10 % fast", "", "vol 0.5 dcshift 0.4 speed 1.1"},
      {"10 % slow", "", "speed 0.9"},
  };
  for (size_t n = 0; n < tapes.size(); ++n) {
    const std::string written = dir_ + "/tape.wav", heard = dir_ + "/heard.wav";
    std::string error;
    ASSERT_TRUE(write_tape_wav(written, tapes[n].data(), static_cast<uint32_t>(tapes[n].size()), error)) << error;
    const double seconds = (std::filesystem::file_size(written) - 44) / 88200.0;
    for (const variant& v : variants) {
      std::string command;
      if (!v.options && !v.effects)
        std::filesystem::copy_file(written, heard, std::filesystem::copy_options::overwrite_existing);
      else if (!v.options)
        command = "sox -n -r 44100 -c 1 " + dir_ + "/noise.wav synth " + std::to_string(seconds) +
                  " whitenoise vol 0.03 && sox -m " + written + " " + dir_ + "/noise.wav " + heard;
      else
        command = "sox " + written + " " + v.options + " " + heard + " " + v.effects;
      if (!command.empty()) {
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
      }
      EXPECT_EQ(decoded(heard, error), tapes[n]) << "tape " << n << ", " << v.name << ": " << error;
    }
  }
}

// Headers in any order and of odd sizes are read; bad ones are refused with the reason, and a
// file with no tape in it says so.
TEST_F(TapeWav, HeadersAreReadDefensively) {
  const std::vector<uint8_t> tape = tape_image("ORDER1");
  std::string error;
  ASSERT_TRUE(write_tape_wav(dir_ + "/t.wav", tape.data(), static_cast<uint32_t>(tape.size()), error));
  const std::string pcm = slurp(dir_ + "/t.wav").substr(44);
  std::string tone;  // a steady 1 kHz square: sound, but no tape
  for (int k = 0; k < 44100; ++k) tone += le(k / 22 % 2 ? 0x6000 : 0xA000, 2);
  const std::string mono16 = format(1, 1, 44100, 16);
  struct bad_case {
    std::string bytes;
    const char* reason;  // empty: read, giving the tape
  };
  const bad_case cases[] = {
      {riff(chunk("LIST", "odd") + chunk("data", pcm) + mono16), ""},
      {riff(mono16 + "data" + le(0xFFFFFFF0u, 4) + pcm), ""},
      {"just text, not a recording", "not a WAV file"},
      {"RIFF", "not a WAV file"},
      {riff(""), "the WAV file has no format chunk"},
      {riff(mono16), "the WAV file has no sound data"},
      {riff(chunk("fmt ", std::string(8, '\x01')) + chunk("data", pcm)), "the WAV file's format is cut short"},
      {riff("fmt " + le(0xFFFFFFF0u, 4) + mono16), "the WAV file's format is cut short"},
      {riff(format(2, 1, 44100, 4) + chunk("data", pcm)), "WAV format not read"},
      {riff(format(1, 1, 44100, 12) + chunk("data", pcm)), "WAV format not read"},
      {riff(format(1, 0, 44100, 16) + chunk("data", pcm)), "WAV file of 0 channels"},
      {riff(format(1, 9, 44100, 16) + chunk("data", pcm)), "WAV file of 9 channels"},
      {riff(format(1, 1, 4000, 16) + chunk("data", pcm)), "sample rate of 4000 Hz"},
      {riff(chunk("fmt ", mono16.substr(8, 12) + le(0xFFFF, 2) + le(16, 2)) + chunk("data", pcm)),
       "the WAV file's block size does not fit its format"},
      {riff(mono16 + chunk("data", std::string(88200, '\0'))), "no tape signal found"},
      {riff(mono16 + chunk("data", tone)), "no tape signal found"},
  };
  for (const bad_case& c : cases) {
    const std::string path = write_file(dir_, "case.wav", std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    const std::vector<uint8_t> got = decoded(path, error);
    if (!*c.reason)
      EXPECT_EQ(got, tape) << error;
    else
      EXPECT_EQ(error.find(c.reason), 0u) << "expected " << c.reason << ", got " << error;
  }
  EXPECT_EQ(decoded(dir_ + "/missing.wav", error).size(), 0u);
  EXPECT_EQ(error.find("cannot be read ("), 0u) << error;
}
