// The whole machine: our Z80 program, installed as the Micro Expander's ROM, runs under
// vantorel-headless on the free system ROM and uses the usb directory through the controller.
#include <cstdio>

#include "ch376_fixture.h"

namespace {

std::string run_and_capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace

TEST_F(Ch376Test, ProgramListsWritesReadsErasesAndStartsACartridge) {
  ch376_destroy();
  fs::create_directory(prog / "roms");
  fs::copy_file(VANTOREL_FIRMWARE_DIR "/usb_e2e.bin", prog / "roms" / "aqubasic.rom");
  std::vector<uint8_t> game = read_host_file(VANTOREL_FIRMWARE_DIR "/usb_game.bin");
  ASSERT_EQ(game.size(), 8192u);
  write_host_file(usb / "GAME.ROM", game);
  write_host_file(usb / "OLD.DAT", {1, 2, 3});
  write_host_file(usb / "HELLO.BAS", {'1', '0', ' '});
  write_host_file(usb / "readme.txt", {'r'});

  std::string screen = run_and_capture(std::string(VANTOREL_BINARY_DIR "/vantorel-headless --dir '") + prog.string() +
                                       "' --microex --frames 200 --screen-text 2>/dev/null");
  SCOPED_TRACE(screen);
  // The file the program wrote: byte i is 7 + 3i (mod 256); the sum it shows is the 16-bit sum.
  std::vector<uint8_t> expected(300);
  uint32_t sum = 0;
  for (int i = 0; i < 300; ++i) {
    expected[i] = static_cast<uint8_t>(7 + 3 * i);
    sum += expected[i];
  }
  char sum_text[16];
  std::snprintf(sum_text, sizeof sum_text, "%04X", sum & 0xFFFF);
  EXPECT_EQ(read_host_file(usb / "NEW.DAT"), expected);
  EXPECT_FALSE(fs::exists(usb / "OLD.DAT"));
  EXPECT_EQ(read_host_file(usb / "GAME.ROM"), game);
  for (const std::string& line : {std::string("EXIST OK"), std::string("MOUNT OK"), std::string("GAME    ROM"),
                                  std::string("OLD     DAT"), std::string("HELLO   BAS"), std::string("README  TXT"),
                                  std::string("WRITE OK"), std::string("READ OK ") + sum_text, std::string("ERASE OK"),
                                  std::string("LAUNCH GAMEROM"), std::string("GAME STARTED FROM USB")}) {
    EXPECT_NE(screen.find(line), std::string::npos) << "missing on the screen: " << line;
  }
  EXPECT_EQ(screen.find("FAIL"), std::string::npos);
}
