// The loaders on the running machine: the frame step's cadence, the CPU's cassette trap, the
// built-in system ROM reading a cassette, typed text and cartridges, and the CH376 run-loader.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "ch376/ch376.h"
#include "core/ports.h"
#include "core/save_state.h"
#include "loading_fixture.h"
#include "spool_expect.h"
#include "tape_image.h"
#include "test_cartridges.h"

using namespace loading_test;

namespace {

std::string screen_row(int row) {
  std::string s;
  for (int col = 0; col < 40; ++col) s.push_back(static_cast<char>(ram[0x3000 + 40 * row + col]));
  return s;
}

bool screen_shows(const std::string& text) {
  for (int row = 0; row < 25; ++row)
    if (screen_row(row).find(text) != std::string::npos) return true;
  return false;
}

void run_frames(int n) {
  for (int i = 0; i < n; ++i) one_Z80_frame();
}

class MachineLoadingTest : public LoadingTest {
 protected:
  void SetUp() override {
    LoadingTest::SetUp();
    // Through the title screen into the line editor.
    run_frames(120);
  }
};

}  // namespace

TEST_F(MachineLoadingTest, CadenceThroughTheFrameStep) {
  // Ten characters at stroke 2: last press at frame end 20, spool ends at 22.
  check_cadence("10 PRINT\"a", 2, 1, one_Z80_frame);
  // Two pasted characters and the end marker at stroke 6: strokes at 6, 12, 18, end at 24.
  check_cadence(std::string("Hi") + static_cast<char>(0x7F), 6, 1, one_Z80_frame);
  // Carriage return + line feed: an all-up stroke and then RETURN, two strokes per line end.
  check_cadence("a\r\nb\r\n", 2, 1, one_Z80_frame);
  // Bytes outside the table in the middle of a text.
  check_cadence("x\t[y]\x80", 2, 0, one_Z80_frame);
  // Nothing to type: the spool still runs its lead-in and its final step.
  check_cadence("", 2, 1, one_Z80_frame);
  check_cadence("", 6, 1, one_Z80_frame);
}

TEST_F(MachineLoadingTest, TrapStartsTheAutoloadInItsOwnFrame) {
  auto keys = expected_keys();
  caq_autoload = false;
  ASSERT_EQ(do_load_file(write_file(dir_, "t.caq", tape_image("TRAPT1"))), 0);
  ASSERT_FALSE(spool_file);
  caq_autoload = true;
  // The machine's ROMs, and ours, never have a CALL at 0x1C53; a ROM that had one would be
  // trapped. Straight onto such a CALL.
  uint8_t kept[3];
  std::memcpy(kept, AQUA_ROM + 0x1C53, sizeof kept);
  const uint8_t call[3] = {0xCD, 0x00, 0x39};
  std::memcpy(AQUA_ROM + 0x1C53, call, sizeof call);
  z80.pc = 0x1C53;
  uint16_t sp = z80.sp;
  uint32_t before = t_state;
  One_Z80_Instruction();
  EXPECT_EQ(z80.pc, 0x1C54);
  EXPECT_EQ(z80.sp, sp);
  EXPECT_EQ(t_state - before, 17u);
  ASSERT_TRUE(spool_file);
  // The end of this frame is frame end 1 (all up); RETURN goes down at frame end 2.
  keyboard_map[0] = 0xF7;
  one_Z80_frame();
  EXPECT_EQ(current_matrix(), matrix_for(keys, 0));
  one_Z80_frame();
  EXPECT_EQ(current_matrix(), matrix_for(keys, '\n'));
  // Without a cassette the same CALL is an ordinary call.
  caq_loaded = false;
  z80.pc = 0x1C53;
  sp = z80.sp;
  One_Z80_Instruction();
  EXPECT_EQ(z80.pc, 0x3900);
  EXPECT_EQ(z80.sp, static_cast<uint16_t>(sp - 2));
  std::memcpy(AQUA_ROM + 0x1C53, kept, sizeof kept);
}

TEST_F(MachineLoadingTest, AStateTakenWhileTheAutoloadWaitsGoesOnAsItWould) {
  caq_autoload = true;
  ASSERT_EQ(do_load_file(write_file(dir_, "wait.caq", tape_image("WAIT01"))), 0);
  run_frames(7);  // RETURN typed; the ROM has read its keyboard in a few frames since
  const std::vector<uint8_t> state = encode_state();
  std::vector<std::string> screens[2];
  for (std::vector<std::string>& seen : screens) {
    for (int frame = 0; frame < 40; ++frame) {
      one_Z80_frame();
      seen.push_back(std::string(reinterpret_cast<char*>(ram + 0x3000), 1000));
    }
    std::string message;
    ASSERT_EQ(decode_state(state.data(), state.size(), false, message), state_result::ok) << message;
  }
  EXPECT_TRUE(screens[0] == screens[1]);
  EXPECT_NE(screens[0].back().find("LOADED WAIT01"), std::string::npos);
}

TEST_F(MachineLoadingTest, MenuCassetteAutoloadsOnceFromTheLoadersCopy) {
  caq_autoload = true;
  auto tape = tape_image("MENU02");
  load_file_begin();
  ASSERT_EQ(menu_load_path(write_file(dir_, "menu.CAQ", tape)), 0);
  load_file_end();
  ASSERT_EQ(file.data, nullptr);
  run_frames(150);
  EXPECT_TRUE(screen_shows("LOADED MENU02"));
  EXPECT_TRUE(screen_shows(tape_line()));
  EXPECT_FALSE(screen_shows("NO CASSETTE"));
  EXPECT_EQ(0, std::memcmp(ram + TAPE_LOAD_ADDRESS, firmware_load_tape, firmware_load_tape_size));
  // One load, no re-armed stream and no retyped command; the sound is back on afterwards.
  EXPECT_FALSE(spool_file);
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(caq_count, tape.size());
}

TEST_F(MachineLoadingTest, TextLoadsHoldReturnThenType) {
  std::string path = write_text(dir_, "listing.txt", "HELLO THERE\n");
  load_file_begin();
  uint32_t frames = frame_count;
  ASSERT_EQ(menu_load_path(path), 0);
  EXPECT_EQ(frame_count - frames, 50u);
  load_file_end();
  EXPECT_EQ(current_matrix(), std::vector<uint8_t>(8, 0xFF));
  ASSERT_TRUE(spool_file);
  EXPECT_EQ(spool_speed, 2);
  EXPECT_EQ(speed, 1);
  EXPECT_EQ(spool_len, 12u);
  run_frames(2 * 13);
  EXPECT_FALSE(spool_file);
  EXPECT_EQ(speed, 0);
  EXPECT_TRUE(screen_shows("> HELLO THERE"));

  // The drop path holds RETURN for 11 frames and leaves the release to the spooler.
  frames = frame_count;
  ASSERT_EQ(do_load_file(write_text(dir_, "more.bas", "AGAIN\n")), 0);
  EXPECT_EQ(frame_count - frames, 11u);
  EXPECT_EQ(keyboard_map[0], 0xF7);
  run_frames(2 * 7);
  EXPECT_FALSE(spool_file);
  EXPECT_TRUE(screen_shows("> AGAIN"));
}

TEST_F(MachineLoadingTest, CartridgesStartAfterASoftReset) {
  ASSERT_EQ(do_load_file(write_file(dir_, "cart8.rom",
                                    std::vector<uint8_t>(firmware_load_cart8, firmware_load_cart8 + firmware_load_cart8_size))),
            0);
  run_frames(30);
  EXPECT_FALSE(screen_shows("8K CARTRIDGE RUNNING"));
  SoftReset();
  run_frames(30);
  EXPECT_TRUE(screen_shows("8K CARTRIDGE RUNNING"));

  load_file_begin();
  ASSERT_EQ(menu_load_path(write_file(dir_, "cart16.BIN", std::vector<uint8_t>(firmware_load_cart16,
                                                                              firmware_load_cart16 + firmware_load_cart16_size))),
            0);
  load_file_end();
  SoftReset();
  run_frames(30);
  EXPECT_TRUE(screen_shows("16K CARTRIDGE RUNNING"));

  // A hard reset rebuilds the map: no cartridge any more.
  HardReset();
  EXPECT_EQ(ReadByte(0xE000), 0);
  EXPECT_EQ(ReadByte(0xC000), 0);
}

TEST_F(MachineLoadingTest, UsbRunLoaderStaysInsideTheStick) {
  std::string usb = dir_ + "/usb";
  std::filesystem::create_directory(usb);
  std::filesystem::create_directory(usb + "/games");
  auto cart = std::vector<uint8_t>(firmware_load_cart8, firmware_load_cart8 + firmware_load_cart8_size);
  write_file(usb, "GAME.ROM", cart);
  write_file(usb, "SONG.PT3", {1, 2, 3});
  write_file(usb, "NOTE.TXT", {'x'});
  write_file(dir_, "OUT.ROM", pattern_bytes(8192, 1));  // beside the stick, not on it
  ASSERT_TRUE(ch376_create());
  char canonical[PATH_MAX];
  ASSERT_NE(realpath(usb.c_str(), canonical), nullptr);
  ch376->root_path = new std::string(canonical);

  z80.pc = 0x1234;
  EXPECT_FALSE(load_usb_file("AB"));
  EXPECT_FALSE(load_usb_file("NOTETXT"));
  EXPECT_FALSE(load_usb_file("../OUTROM"));
  EXPECT_FALSE(load_usb_file("MISSINGROM"));
  EXPECT_EQ(z80.pc, 0x1234);
  EXPECT_NE(ReadByte(0xE000), 'V');

  // A name without its dot: GAMEROM is GAME.ROM, mapped, and the CPU restarts at 0.
  ASSERT_TRUE(load_usb_file("GAMEROM"));
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(ReadByte(0xE000), 'V');
  EXPECT_EQ(ReadByte(0xE000 + firmware_load_cart8_size), 0xFF);
  run_frames(30);
  EXPECT_TRUE(screen_shows("8K CARTRIDGE RUNNING"));

  // ".pt3" becomes the CH376's open file.
  ASSERT_TRUE(load_usb_file("SONGPT3"));
  ASSERT_NE(ch376->open_file, nullptr);
  EXPECT_EQ(std::fgetc(ch376->open_file), 1);
  ch376_destroy();
  EXPECT_FALSE(load_usb_file("GAMEROM"));  // nothing mounted
}
