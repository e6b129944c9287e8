// vantorel-headless as a user runs it: an ordered script of waits, key strokes and looks, on the
// free ROMs installed as the user's ROM files (so that the screen does not depend on where the
// test runs), and on an empty directory, where the free ROMs step in and name what is missing.
#include <cairo.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/scratch_dir.h"
#include "headless_run.h"
#include "loading/tape_image.h"

extern const unsigned char firmware_sysrom[];
extern const unsigned firmware_sysrom_size;
extern const unsigned char firmware_charrom[];
extern const unsigned firmware_charrom_size;
extern const unsigned char firmware_load_cart8[];
extern const unsigned firmware_load_cart8_size;
extern const unsigned char firmware_usb_state[];
extern const unsigned firmware_usb_state_size;
extern const unsigned char firmware_sysrom_power_on[];
extern const unsigned firmware_sysrom_power_on_size;
extern const unsigned char firmware_printer_screen[];
extern const unsigned firmware_printer_screen_size;

namespace {

constexpr int width = 352, height = 232;
// 44,100 samples per second of the 3,579,545 Hz clock; a frame is 71,590 T-states on PAL and
// 59,659 on NTSC.
constexpr double pal_samples_per_frame = 71590.0 * 44100 / 3579545;
constexpr double ntsc_samples_per_frame = 59659.0 * 44100 / 3579545;

// Runs the program from directory cwd with these arguments.
RunResult run(const std::string& cwd, std::vector<std::string> args) { return run_headless_in(cwd, std::move(args)); }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool has_line(const std::vector<std::string>& lines, size_t from, size_t to, const std::string& wanted) {
  for (size_t i = from; i < to && i < lines.size(); ++i)
    if (lines[i].rfind(wanted) != std::string::npos) return true;
  return false;
}

struct Picture {
  int w = 0, h = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB
};

// Decodes a PNG through cairo, independently of the runner's own writing path.
bool read_png(const std::string& path, Picture& p) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    cairo_surface_flush(s);
    p.w = cairo_image_surface_get_width(s);
    p.h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    p.pixels.resize(static_cast<size_t>(p.w) * p.h);
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x)
        p.pixels[static_cast<size_t>(y) * p.w + x] =
            reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride)[x] & 0xFFFFFF;
  }
  cairo_surface_destroy(s);
  return ok;
}

// Reads a binary PPM ("P6 w h 255").
bool read_ppm(const std::string& path, Picture& p) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> p.w >> p.h >> maxval;
  in.get();
  if (!in || magic != "P6" || maxval != 255 || p.w <= 0 || p.h <= 0) return false;
  p.pixels.resize(static_cast<size_t>(p.w) * p.h);
  for (uint32_t& px : p.pixels) {
    unsigned char rgb[3];
    if (!in.read(reinterpret_cast<char*>(rgb), 3)) return false;
    px = static_cast<uint32_t>(rgb[0]) << 16 | static_cast<uint32_t>(rgb[1]) << 8 | rgb[2];
  }
  return true;
}

size_t differing_pixels(const Picture& a, const Picture& b) {
  if (a.w != b.w || a.h != b.h) return static_cast<size_t>(-1);
  size_t n = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
  return n;
}

// Stereo 16-bit frames in a WAV file the runner recorded, from the data chunk's own length.
long wav_frames(const std::string& path) {
  const std::string wav = slurp(path);
  if (wav.size() < 44 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(36, 4, "data") != 0) return -1;
  const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(wav[i])); };
  const uint32_t data_bytes = byte(40) | byte(41) << 8 | byte(42) << 16 | byte(43) << 24;
  if (data_bytes != wav.size() - 44) return -2;
  return static_cast<long>(data_bytes / 4);
}

class Headless : public ::testing::Test {
 protected:
  ScratchDir scratch;
  std::string prog;   // a program directory with the free ROMs as the user's series 2 files
  std::string empty;  // a program directory with nothing in it
  void SetUp() override {
    ASSERT_FALSE(scratch.path.empty());
    std::vector<unsigned char> system(firmware_sysrom, firmware_sysrom + firmware_sysrom_size);
    std::vector<unsigned char> chars(firmware_charrom, firmware_charrom + firmware_charrom_size);
    system.resize(8192, 0xFF);
    chars.resize(2048, 0xFF);
    scratch.write("prog/roms/aquariusS2.rom", system);
    scratch.write("prog/roms/charS2.rom", chars);
    prog = scratch.file("prog");
    empty = scratch.file("empty");
    std::filesystem::create_directories(empty);
  }
};

// The golden picture was checked by eye. When the free ROMs or the picture composition change on
// purpose, renew it from a directory whose roms/ holds the built sysrom.bin and charrom.bin
// (padded with 0xFF to 8192 and 2048 bytes) as aquariusS2.rom and charS2.rom:
//   vantorel-headless --dir DIR --frames 100 --screenshot tests/golden/boot_screen.png
// and look at it again before committing it.
TEST_F(Headless, BootScreenShowsTheTitleAndMatchesTheGoldenPicture) {
  const RunResult r = run(scratch.path, {"--dir", "prog", "--frames", "100", "--screen-text", "--screenshot", "boot.png",
                                   "--screenshot", "boot.ppm"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 25u) << r.out;
  for (const std::string& line : lines) EXPECT_EQ(line.size(), 40u) << line;
  // The title sits in a box of line-drawing codes, which are not ASCII and show as '.'.
  EXPECT_TRUE(has_line(lines, 0, 25, ".     VANTOREL     .")) << r.out;
  EXPECT_TRUE(has_line(lines, 0, 25, " FREE SYSTEM ROM ")) << r.out;
  EXPECT_TRUE(has_line(lines, 0, 25, "TYPE CLOAD TO READ A TAPE")) << r.out;
  EXPECT_FALSE(has_line(lines, 0, 25, "not found")) << "the ROM files are there:\n" << r.out;

  Picture png, ppm, golden;
  ASSERT_TRUE(read_png(scratch.file("boot.png"), png));
  ASSERT_TRUE(read_ppm(scratch.file("boot.ppm"), ppm));
  EXPECT_EQ(png.w, width);
  EXPECT_EQ(png.h, height);
  EXPECT_EQ(differing_pixels(png, ppm), 0u) << "PNG and PPM of one moment differ";
  ASSERT_TRUE(read_png(std::string(VANTOREL_SOURCE_DIR) + "/tests/golden/boot_screen.png", golden));
  EXPECT_EQ(differing_pixels(png, golden), 0u) << "the boot screen differs from tests/golden/boot_screen.png";
}

TEST_F(Headless, KeysAreStruckThroughTheMatrix) {
  // Upper case comes with SHIFT, symbols from their shifted keys; the ROM echoes what it reads.
  const RunResult r = run(prog, {"--frames", "100", "--keys", "HELLO\\n", "--frames", "10", "--keys", "x=1+2*\"q\"!;:@\n",
                           "--frames", "10", "--screen-text"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 25u);
  size_t hello = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find("> HELLO") != std::string::npos) hello = i;
  ASSERT_LT(hello + 3, lines.size()) << r.out;
  EXPECT_EQ(lines[hello].substr(0, 8), " > HELLO") << r.out;
  // RETURN ended the line: the ROM answered on the next one, and the second text follows.
  EXPECT_NE(lines[hello + 1].find("COMMANDS: CLOAD CSAVE LPRINT COPY"), std::string::npos) << r.out;
  EXPECT_NE(lines[hello + 2].find("> X=1+2*\"Q\"!;:@"), std::string::npos) << r.out;
  EXPECT_NE(lines[hello + 3].find("COMMANDS: CLOAD CSAVE LPRINT COPY"), std::string::npos) << r.out;

  // Backslash-n and a real line feed are the same RETURN.
  const RunResult escaped = run(prog, {"--frames", "100", "--keys", "AB\\nCD", "--frames", "5", "--screen-text"});
  const RunResult real = run(prog, {"--frames", "100", "--keys", "AB\nCD", "--frames", "5", "--screen-text"});
  ASSERT_EQ(escaped.status, 0);
  EXPECT_EQ(escaped.out, real.out);
  EXPECT_NE(escaped.out.find("> CD"), std::string::npos) << escaped.out;
}

TEST_F(Headless, ScriptRunsInTheOrderGiven) {
  const RunResult r = run(prog, {"--frames", "100", "--keys", "AB", "--frames", "3", "--screen-text", "--dump", "3000:2",
                           "--keys", "C", "--frames", "3", "--screen-text"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 51u) << r.out;
  EXPECT_TRUE(has_line(lines, 0, 25, "> AB")) << r.out;
  EXPECT_FALSE(has_line(lines, 0, 25, "> ABC")) << r.out;
  EXPECT_EQ(lines[25], "20 20") << "screen codes of the first two cells, printed between the two looks";
  EXPECT_TRUE(has_line(lines, 26, 51, "> ABC")) << r.out;
  EXPECT_NE(std::vector<std::string>(lines.begin(), lines.begin() + 25),
            std::vector<std::string>(lines.begin() + 26, lines.end()));

  // A bad action late in the script is found before anything runs.
  const RunResult bad = run(scratch.path, {"--dir", "prog", "--frames", "10", "--screenshot", "early.png", "--keys", "A\tB"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("0x09"), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(scratch.file("early.png")));
}

TEST_F(Headless, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--frames"},          {"--frames", "x"},      {"--frames", "-1"},     {"--frames", "10k"},
      {"--model", "2"},      {"--series", "0"},      {"--series", "3"},      {"--ram", "5"},
      {"--ram", "-1"},       {"--timing", "secam"},  {"--bogus"},            {"--keys", "\xC3\xA9"},
      {"--keys", "[]"},      {"--keys", "a\rb"},     {"--dump", "zz"},       {"--dump", "10000:1"},
      {"--soft-reset-after"}, {"--dir", "no-such-directory"}, {"--printer"}, {"--printer-png"}};
  for (const std::vector<std::string>& args : cases) {
    const RunResult r = run(scratch.path, args);
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_NE(r.err.find("vantorel-headless: "), std::string::npos) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }

  // Output that cannot be written is a failed run, not a usage error; the script stops there.
  const RunResult shot = run(prog, {"--frames", "5", "--screenshot", "no/such/dir/x.png", "--screen-text"});
  EXPECT_EQ(shot.status, 1);
  EXPECT_NE(shot.err.find("cannot write"), std::string::npos) << shot.err;
  EXPECT_EQ(shot.out, "") << "nothing after the failed action ran";
  const RunResult wav = run(prog, {"--audio", "no/such/dir/x.wav", "--frames", "5"});
  EXPECT_EQ(wav.status, 1);
  EXPECT_NE(wav.err.find("cannot write"), std::string::npos) << wav.err;
}

// Every file the runner saves (state, PNG, PPM, recording) is written through a symbolic link to
// the file it names, never into a device or a FIFO, and never left half written: a write that
// fails (a file-size limit here, as a full disk) leaves neither the file nor a temporary.
TEST_F(Headless, SavedFilesFollowLinksRefuseDevicesAndAreNeverHalfWritten) {
  const std::string out = scratch.file("out");
  std::filesystem::create_directories(out + "/real");
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {"--save-state", "a.vst"}, {"--screenshot", "a.png"}, {"--screenshot", "a.ppm"}, {"--audio", "a.wav"}};
  std::vector<std::string> all = {"--frames", "20"};
  for (const auto& [option, name] : outputs) {
    std::filesystem::create_symlink("real/" + name, out + "/" + name);
    all.insert(all.end(), {option, out + "/" + name});
  }
  const RunResult linked = run(prog, all);
  ASSERT_EQ(linked.status, 0) << linked.err;
  for (const auto& [option, name] : outputs) {
    EXPECT_TRUE(std::filesystem::is_symlink(out + "/" + name)) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(out + "/real/" + name)) << name;
    std::filesystem::remove(out + "/" + name);
    std::filesystem::create_symlink(name == "a.wav" ? "/dev/full" : "/dev/null", out + "/" + name);
    const RunResult refused = run(prog, {"--frames", "2", option, out + "/" + name});
    EXPECT_EQ(refused.status, 1) << name;
    EXPECT_NE(refused.err.find("not a regular file"), std::string::npos) << refused.err;
    EXPECT_TRUE(std::filesystem::is_symlink(out + "/" + name)) << name;
  }
  ASSERT_EQ(mkfifo((out + "/fifo.vst").c_str(), 0644), 0);
  EXPECT_EQ(run(prog, {"--save-state", out + "/fifo.vst"}).status, 1);
  EXPECT_TRUE(std::filesystem::is_fifo(out + "/fifo.vst"));

  // Only the soft limit: without CAP_SYS_RESOURCE a lowered hard limit could not be raised again
  // for the tests that run after this one in the same process.
  struct rlimit unlimited;
  getrlimit(RLIMIT_FSIZE, &unlimited);
  const struct rlimit limited = {60000, unlimited.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limited);
  const RunResult wav = run(prog, {"--audio", out + "/big.wav", "--frames", "50"});
  const RunResult ppm = run(prog, {"--frames", "2", "--screenshot", out + "/big.ppm"});
  setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(wav.status, 1);
  EXPECT_NE(wav.err.find("File too large"), std::string::npos) << wav.err;
  EXPECT_EQ(ppm.status, 1);
  size_t left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) left += entry.path().string().find("big") != std::string::npos;
  EXPECT_EQ(left, 0u) << "a failed write left a file behind";
}

TEST_F(Headless, RomFailureAtStartUp) {
  // Without the fallback: the error text, a failing status, and no run at all.
  const RunResult none = run(scratch.path, {"--dir", "empty", "--no-fallback", "--frames", "10", "--screen-text"});
  EXPECT_NE(none.status, 0);
  EXPECT_NE(none.err.find("00 - ROM file " + empty + "/roms/aquariusS2.rom was not found"), std::string::npos)
      << none.err;
  EXPECT_NE(none.err.find(empty + "/roms/charS2.rom was not found"), std::string::npos) << none.err;
  EXPECT_EQ(none.out, "");
  scratch.write("prog/roms/charS2.rom", std::vector<unsigned char>(2047, 0));
  const RunResult short_char = run(prog, {"--no-fallback", "--screen-text"});
  EXPECT_NE(short_char.status, 0);
  EXPECT_NE(short_char.err.find("charS2.rom has 2047 bytes instead of 2048"), std::string::npos) << short_char.err;
  EXPECT_EQ(short_char.out, "");

  // With it: the free ROMs boot and name the missing files; the settings given on the command
  // line chose which files were wanted.
  const RunResult fallback = run(scratch.path, {"--dir", "empty", "--frames", "100", "--screenshot", "x.png", "--screen-text"});
  ASSERT_EQ(fallback.status, 0);
  EXPECT_TRUE(has_line(lines_of(fallback.out), 0, 25, "aquariusS2.rom: not found")) << fallback.out;
  EXPECT_TRUE(has_line(lines_of(fallback.out), 0, 25, "charS2.rom: not found")) << fallback.out;
  Picture shot;
  ASSERT_TRUE(read_png(scratch.file("x.png"), shot)) << "written where the runner was started";
  EXPECT_EQ(shot.w, width);
  EXPECT_FALSE(std::filesystem::exists(empty + "/x.png"));
  const RunResult model_two = run(empty, {"--model", "1", "--series", "1", "--screen-text"});
  ASSERT_EQ(model_two.status, 0);
  const std::vector<std::string> lines = lines_of(model_two.out);
  for (const char* name : {"aquariusS1.rom", "charS1.rom", "aquariusS2.rom", "extbasic.rom"})
    EXPECT_TRUE(has_line(lines, 0, 25, std::string(name) + ": not found")) << name << "\n" << model_two.out;
}

// A FIFO (or a link to an endless device) in place of any file the program reads is refused
// as unreadable, and the run goes on; the watchdog turns a reader that waits into a failure.
TEST_F(Headless, NoReaderWaitsOnAFifo) {
  alarm(120);
  const std::string dir = scratch.file("fifos");
  std::filesystem::create_directories(dir + "/roms");
  for (const char* name : {"/vantorel.ini", "/roms/aquariusS2.rom", "/roms/aqubasic.rom", "/game.rom"})
    ASSERT_EQ(mkfifo((dir + name).c_str(), 0644), 0) << name;
  const RunResult r = run(dir, {"--frames", "5", "--load", dir + "/game.rom", "--microex", "--frames", "5", "--screen-text"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("aquariusS2.rom cannot be read"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("game.rom was not loaded: not a regular file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("aqubasic.rom: cannot be read (not a regular file)"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("aquariusS2.rom: cannot be read"), std::string::npos) << "the free ROM shows it too";

  std::filesystem::remove(dir + "/vantorel.ini");
  std::filesystem::create_symlink("/dev/zero", dir + "/vantorel.ini");
  EXPECT_EQ(run(dir, {"--frames", "2"}).status, 0);
  alarm(0);
}

// A state saved in the middle of something goes on, when loaded in a fresh run set up
// otherwise, exactly as the first run did: the same picture, memory and sound. The state brings
// what the fresh run lacks: the typing, a cartridge, a cassette half read, the other ROM
// series, the Micro Expander with a file it is reading. A file that is not a state, one cut
// short, of another version, made with other ROM images, of a series whose ROM files are
// missing, or naming an open file that is gone is refused and changes nothing.
TEST_F(Headless, SaveStateGoesOnExactlyAndBadStatesChangeNothing) {
  // Series 1 shows its glyphs inverted, so a run that switched series shows it.
  std::vector<unsigned char> inverted(firmware_charrom, firmware_charrom + firmware_charrom_size);
  inverted.resize(2048, 0xFF);
  for (unsigned char& row : inverted) row = static_cast<unsigned char>(~row);
  std::vector<unsigned char> system(firmware_sysrom, firmware_sysrom + firmware_sysrom_size);
  system.resize(8192, 0xFF);
  scratch.write("prog/roms/aquariusS1.rom", system);
  scratch.write("prog/roms/charS1.rom", inverted);
  scratch.write("prog/roms/aqubasic.rom", std::vector<unsigned char>(firmware_usb_state, firmware_usb_state + firmware_usb_state_size));
  std::vector<unsigned char> data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(33 + (i * i + 7 * i) % 94);
  scratch.write("prog/usb/DATA.BIN", data);
  scratch.write("game.rom", std::vector<unsigned char>(firmware_load_cart8, firmware_load_cart8 + firmware_load_cart8_size));
  const std::vector<uint8_t> tape = loading_test::tape_image("LONG01", loading_test::TAPE_LOAD_ADDRESS, 16, 30000);
  scratch.write("long.caq", std::vector<unsigned char>(tape.begin(), tape.end()));
  const std::vector<uint8_t> to_save = loading_test::tape_image("Save1 ", 0, 12);
  scratch.write("save1.caq", std::vector<unsigned char>(to_save.begin(), to_save.end()));

  const struct { const char* state; std::vector<std::string> before; } cases[] = {
      {"typing.vst", {"--frames", "60", "--type", "HELLO 12", "--frames", "9"}},
      {"cartridge.vst", {"--load", scratch.file("game.rom"), "--soft-reset", "--frames", "30"}},
      // The whole load takes some 40 frames from about frame 28, after the autoload's typing.
      {"cassette.vst", {"--ram", "4", "--autoload", "--load", scratch.file("long.caq"), "--frames", "45"}},
      {"series1.vst", {"--series", "1", "--frames", "60", "--keys", "AB"}},
      // CSAVE has written its bytes; the recording is saved after a second without any.
      {"recording.vst", {"--load", scratch.file("save1.caq"), "--autoload", "--frames", "100", "--keys", "csave\n",
                         "--frames", "5", "--keys", "\n", "--frames", "10"}},
      // A pass over the file takes some 50 frames: the state falls in the middle of one.
      {"usb.vst", {"--microex", "--frames", "30"}},
  };
  // The memory looked at holds the screen and the block the cassette loads.
  const std::vector<std::string> after = {"--frames", "150", "--screenshot", "x.png", "--dump", "3000:8000"};
  bool through_load = false;  // every other state is given to --load, named in capitals
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    through_load = !through_load;
    const std::string state = scratch.file(c.state);
    std::vector<std::string> first = {"--audio", "a.wav"};
    first.insert(first.end(), c.before.begin(), c.before.end());
    first.insert(first.end(), {"--save-state", state});
    first.insert(first.end(), after.begin(), after.end());
    const RunResult a = run(prog, first);
    ASSERT_EQ(a.status, 0) << a.err;
    const std::string picture_a = slurp(prog + "/x.png"), sound_a = slurp(prog + "/a.wav");
    std::string given = state;
    if (through_load) {
      given.replace(given.size() - 3, 3, "VST");
      std::filesystem::copy_file(state, given);
    }
    std::vector<std::string> second = {"--audio", "b.wav", "--frames", "3", through_load ? "--load" : "--load-state", given};
    second.insert(second.end(), after.begin(), after.end());
    const RunResult b = run(prog, second);
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_TRUE(b.out == a.out) << "memory after the load";
    EXPECT_EQ(slurp(prog + "/x.png"), picture_a);
    const std::string sound_b = slurp(prog + "/b.wav");
    const size_t tail = 4 * 40000;  // well inside the frames after the state
    ASSERT_GT(sound_a.size(), tail);
    ASSERT_GT(sound_b.size(), tail);
    EXPECT_TRUE(sound_a.compare(sound_a.size() - tail, tail, sound_b, sound_b.size() - tail, tail) == 0);
  }
  EXPECT_EQ(slurp(prog + "/usb/DATA.BIN"), std::string(data.begin(), data.end())) << "the file was only read";
  EXPECT_EQ(slurp(prog + "/tapes/SAVE1.caq"), std::string(to_save.begin(), to_save.end()));
  EXPECT_EQ(slurp(prog + "/tapes/SAVE1-2.caq"), slurp(prog + "/tapes/SAVE1.caq")) << "the recording the state held";

  const std::string good = slurp(scratch.file("typing.vst"));
  ASSERT_EQ(good.compare(0, 8, "VNTSTATE"), 0);
  std::string other_version = good;
  other_version[8] = 2;
  scratch.write_text("text.vst", "10 PRINT\n");
  scratch.write_text("short.vst", good.substr(0, good.size() / 2));
  scratch.write_text("version.vst", other_version);
  // The open file's name, the last thing the state names, made to lead out of usb/ to a file.
  std::string escaping = slurp(scratch.file("usb.vst"));
  ASSERT_NE(escaping.rfind("DATA.BIN"), std::string::npos);
  escaping.replace(escaping.rfind("DATA.BIN"), 8, "../A.BIN");
  scratch.write_text("escaping.vst", escaping);
  scratch.write_text("prog/A.BIN", "outside");
  system[8191] = 0x00;  // unused padding: the same free ROM to run, other bytes to compare
  scratch.write("other/roms/aquariusS2.rom", system);
  scratch.write("other/roms/charS2.rom", std::vector<unsigned char>(firmware_charrom, firmware_charrom + firmware_charrom_size));
  std::filesystem::resize_file(scratch.file("other/roms/charS2.rom"), 2048);
  std::filesystem::create_directories(scratch.file("other/usb"));
  const struct { const char* dir; const char* file; const char* why; } refusals[] = {
      {"prog", "text.vst", "not a save state"},
      {"prog", "short.vst", "truncated"},
      {"prog", "version.vst", "version 2"},
      {"other", "typing.vst", "other ROM images"},
      {"other", "series1.vst", "charS1.rom was not found"},
      {"other", "usb.vst", "the file usb/DATA.BIN, open in the save state, is gone"},
      {"prog", "escaping.vst", "the file usb/../A.BIN, open in the save state, is gone"},
  };
  for (const auto& r : refusals) {
    const RunResult before = run(scratch.file(r.dir), {"--frames", "60", "--keys", "AB", "--screen-text"});
    const RunResult refused = run(scratch.file(r.dir), {"--frames", "60", "--keys", "AB", "--load-state",
                                                       scratch.file(r.file), "--screen-text"});
    EXPECT_EQ(refused.status, 1) << r.file;
    EXPECT_NE(refused.err.find(r.why), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, before.out) << r.file << ": the machine changed";
  }
  const RunResult refused = run(prog, {"--load", scratch.file("text.vst")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("not a save state"), std::string::npos) << refused.err;
}

TEST_F(Headless, RecordingHasEverySampleOfTheRun) {
  struct Case {
    std::vector<std::string> args;
    double frames;  // PAL frames in which sound is made
    double samples_per_frame;
  };
  const std::vector<Case> cases = {
      // 71,590,000 T-states, 19.99975 s of the clock: 881,989 samples.
      {{"--frames", "1000"}, 1000, pal_samples_per_frame},
      {{"--timing", "ntsc", "--frames", "1000"}, 1000, ntsc_samples_per_frame},
      {{"--ntsc", "--frames", "100"}, 100, ntsc_samples_per_frame},
      {{"--frames", "40", "--keys", "AB", "--frames", "10"}, 56, pal_samples_per_frame},
      // Actions that reconfigure the machine pause its audio; the recording loses nothing.
      {{"--frames", "50", "--soft-reset", "--frames", "50"}, 100, pal_samples_per_frame},
      {{"--soft-reset-after", "30", "--frames", "60"}, 60, pal_samples_per_frame},
      {{"--frames", "50", "--load", "missing.caq", "--frames", "50"}, 100, pal_samples_per_frame},
      // Unlimited speed makes no sound.
      {{"--frames", "20", "--unlimited", "--frames", "30"}, 20, pal_samples_per_frame},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--audio", "rec.wav"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    std::filesystem::remove(prog + "/rec.wav");
    const RunResult r = run(prog, args);
    ASSERT_EQ(r.status, 0) << shown << r.err;
    EXPECT_NEAR(static_cast<double>(wav_frames(prog + "/rec.wav")), c.frames * c.samples_per_frame, 1.0) << shown;
  }
}

TEST_F(Headless, ResetActions) {
  // Loaded once the ROM has booted, the cartridge waits for the reset.
  scratch.write("game.rom", std::vector<unsigned char>(firmware_load_cart8, firmware_load_cart8 + firmware_load_cart8_size));
  const RunResult r = run(scratch.path, {"--dir", "prog", "--frames", "20", "--load", "game.rom", "--frames", "20",
                                         "--screen-text", "--soft-reset", "--frames", "20", "--screen-text",
                                         "--hard-reset", "--frames", "100", "--screen-text", "--dump", "E000:2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 76u);
  EXPECT_FALSE(has_line(lines, 0, 25, "8K CARTRIDGE RUNNING")) << r.out;
  EXPECT_TRUE(has_line(lines, 25, 50, "8K CARTRIDGE RUNNING")) << r.out;
  // A hard reset drops the cartridge: the ROM boots to its prompt and 0xE000 is empty RAM.
  EXPECT_FALSE(has_line(lines, 50, 75, "8K CARTRIDGE RUNNING")) << r.out;
  EXPECT_TRUE(has_line(lines, 50, 75, "TYPE CLOAD TO READ A TAPE")) << r.out;
  EXPECT_EQ(lines[75], "00 00");
}

// The machine's own ROMs wait on their title for RETURN, then size the RAM (about a second with
// the 64K expansion) reading no keys; a test build of the free ROM does the same.
TEST_F(Headless, AutoloadStartsATapeFromThePowerOnScreen) {
  scratch.write("prog/roms/aquariusS2.rom",
                std::vector<unsigned char>(firmware_sysrom_power_on, firmware_sysrom_power_on + firmware_sysrom_power_on_size));
  const std::vector<uint8_t> tape = loading_test::tape_image("POWER1");
  scratch.write("power.caq", std::vector<unsigned char>(tape.begin(), tape.end()));
  for (const char* ram : {"0", "4"}) {
    SCOPED_TRACE(std::string("--ram ") + ram);
    const RunResult r = run(prog, {"--ram", ram, "--autoload", "--load", scratch.file("power.caq"), "--frames", "20",
                                   "--screen-text", "--frames", "180", "--screen-text"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    EXPECT_TRUE(has_line(lines, 0, 25, "Press RETURN key to start")) << r.out;
    EXPECT_TRUE(has_line(lines, 25, 50, "LOADED POWER1 " + std::to_string(firmware_load_tape_size))) << r.out;
    EXPECT_TRUE(has_line(lines, 25, 50, loading_test::tape_line())) << r.out;
  }
}

// LPRINT and COPY on the free ROM through the printer: the text holds the line and the 24 rows
// (1 to 7 the character set a cassette program drew), and the paper matches the golden picture,
// checked by eye (renewed as the boot screen's, with this test's actions and --printer-png).
TEST_F(Headless, LprintAndCopyReachThePaper) {
  const std::vector<uint8_t> tape = loading_test::tape_image("PRSCRN", loading_test::TAPE_LOAD_ADDRESS, 16, 0,
                                                             firmware_printer_screen, firmware_printer_screen_size);
  scratch.write("screen.caq", std::vector<unsigned char>(tape.begin(), tape.end()));
  const RunResult r = run(prog, {"--autoload", "--load", scratch.file("screen.caq"), "--frames", "200", "--keys",
                                 "LPRINT \"HELLO, PRINTER\"\n", "--frames", "20", "--keys", "COPY\n", "--frames", "450",
                                 "--printer", "paper.txt", "--printer-png", "paper.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = lines_of(slurp(prog + "/paper.txt"));
  ASSERT_EQ(lines.size(), 26u) << slurp(prog + "/paper.txt");
  EXPECT_EQ(lines[0], "HELLO, PRINTER");
  EXPECT_EQ(lines[1], "") << "COPY starts with CR LF";
  EXPECT_EQ(lines[2].substr(32), " !\"#$%&'");
  EXPECT_EQ(lines[3], "()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNO");
  EXPECT_EQ(lines[4], "PQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvw");
  EXPECT_TRUE(has_line(lines, 10, 25, " > COPY")) << "the line that asked for the copy";
  EXPECT_EQ(lines[25], " HAND CONTROLLER FF");
  Picture paper, golden;
  ASSERT_TRUE(read_png(prog + "/paper.png", paper));
  ASSERT_TRUE(read_png(std::string(VANTOREL_SOURCE_DIR) + "/tests/golden/printer_paper.png", golden));
  EXPECT_EQ(differing_pixels(paper, golden), 0u) << "the paper differs from tests/golden/printer_paper.png";
  EXPECT_EQ(run(prog, {"--frames", "1", "--printer-png", "no/such/dir/x.png"}).status, 1) << "cannot be written";
}

TEST_F(Headless, CommandLineSettingsOverrideTheFileWhichIsNeverWritten) {
  // The file asks for the Aquarius II with series 1; the command line for the Aquarius I with
  // series 2. Which files the free ROMs call missing shows which settings loaded the ROMs.
  const std::string ini = "opt_draw_size=2\nopt_timing_type=1\nopt_keyboard_mode=0\nopt_model=1\nopt_rom_mode=0\n"
                          "opt_snd_stereo=1\nopt_snd_aysound=0\nopt_ram_size=0\nopt_caq_autoload=0\n"
                          "opt_windowpos_x=-5\nopt_windowpos_y=9\nopt_exit_msg=1\n[End]\n";
  scratch.write_text("empty/vantorel.ini", ini);
  const RunResult from_file = run(empty, {"--frames", "100", "--screen-text"});
  ASSERT_EQ(from_file.status, 0);
  EXPECT_TRUE(has_line(lines_of(from_file.out), 0, 25, "extbasic.rom: not found")) << from_file.out;
  EXPECT_TRUE(has_line(lines_of(from_file.out), 0, 25, "charS1.rom: not found")) << from_file.out;

  const RunResult overridden = run(empty, {"--model", "0", "--series", "2", "--frames", "100", "--screen-text"});
  ASSERT_EQ(overridden.status, 0);
  const std::vector<std::string> lines = lines_of(overridden.out);
  EXPECT_TRUE(has_line(lines, 0, 25, "aquariusS2.rom: not found")) << overridden.out;
  EXPECT_TRUE(has_line(lines, 0, 25, "charS2.rom: not found")) << overridden.out;
  EXPECT_FALSE(has_line(lines, 0, 25, "extbasic.rom")) << overridden.out;
  EXPECT_FALSE(has_line(lines, 0, 25, "S1.rom")) << overridden.out;
  EXPECT_EQ(scratch.read_text("empty/vantorel.ini"), ini) << "the runner leaves the settings file alone";
  ASSERT_EQ(run(prog, {"--frames", "10"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(prog + "/vantorel.ini")) << "nor writes one where there was none";
}

}  // namespace

// The runner as a test runner for a cartridge: its z80asm labels, a stop at a label, the
// registers, breakpoints that print and let the run go on, a poke and a look, a trace, and the
// status of a label never reached.
TEST_F(Headless, DebuggingOptionsStopAtLabelsPrintAndTrace) {
  const std::vector<std::string> cartridge = {"--symbols", DEBUG_CART_LABELS, "--load", DEBUG_CART, "--soft-reset"};
  const auto with_cartridge = [&](std::vector<std::string> args) {
    args.insert(args.begin(), cartridge.begin(), cartridge.end());
    return run(prog, args);
  };
  const RunResult r = with_cartridge({"--until", "pass", "--max-frames", "300", "--regs", "--break", "store",
                                      "--frames", "1", "--dump", "VAR:1", "--poke", "FRESH+1:A5C3", "--dump", "3B00:3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_GE(lines.size(), 5u) << r.out;
  const std::string hex4 = "[0-9A-F]{4}";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("PC=E011 SP=3E00 AF=" + hex4 + " BC=" + hex4 + " DE=" + hex4 +
                                                    " HL=" + hex4 + " IX=" + hex4 + " IY=" + hex4 + " AF'=" + hex4 +
                                                    " BC'=" + hex4 + " DE'=" + hex4 + " HL'=" + hex4 +
                                                    " I=[0-9A-F]{2} R=[0-9A-F]{2} T=[0-9]+")))
      << lines[0];
  // Every pass of the frame stops at store (A already 0x55), and the frame runs on to its end.
  const size_t breaks = lines.size() - 3;
  EXPECT_GT(breaks, 50u) << r.out;
  for (size_t i = 1; i <= breaks; ++i) EXPECT_EQ(lines[i].substr(0, 21), "PC=E013 SP=3E00 AF=55") << lines[i];
  EXPECT_EQ(lines[breaks + 1], "55");
  EXPECT_EQ(lines[breaks + 2].substr(2), " A5 C3") << "the byte before the poke as the cartridge left it";

  // The trace: one line per instruction from the first, up to the limit.
  const RunResult traced = with_cartridge({"--trace", "trace.txt", "--trace-limit", "40", "--frames", "2"});
  ASSERT_EQ(traced.status, 0) << traced.err;
  const std::vector<std::string> trace = lines_of(slurp(prog + "/trace.txt"));
  ASSERT_EQ(trace.size(), 40u);
  EXPECT_TRUE(std::regex_match(trace[0], std::regex(" +0 0000 [0-9A-F]{2} .* AF=" + hex4 + " BC=" + hex4 + " DE=" +
                                                    hex4 + " HL=" + hex4 + " IX=" + hex4 + " IY=" + hex4 + " SP=" + hex4)))
      << trace[0];

  // A label never reached ends the run with status 3, the actions after it not carried out; bad
  // addresses and a missing label file are found before anything runs.
  const RunResult missed = with_cartridge({"--until", "0123", "--max-frames", "5", "--regs"});
  EXPECT_EQ(missed.status, 3);
  EXPECT_EQ(missed.out, "");
  EXPECT_NE(missed.err.find("0123"), std::string::npos) << missed.err;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--until", "no_such_label"}, {"--break", "pass+"}, {"--max-frames", "5"}, {"--poke", "VAR:123"},
           {"--dump", "nolabel:4"}}) {
    const RunResult bad = with_cartridge(args);
    EXPECT_EQ(bad.status, 2) << args[0] << " " << args[1] << bad.err;
    EXPECT_EQ(bad.out, "");
  }
  EXPECT_EQ(run(prog, {"--symbols", "missing.lbl", "--frames", "1"}).status, 1);
}
