// File recognition, cartridge mapping and the load paths' handling of bad files.
#include <sys/stat.h>

#include <cctype>
#include <cstring>

#include "core/ports.h"
#include "loading_fixture.h"
#include "tools/headless_host.h"

using namespace loading_test;

namespace {

// The recognised kinds: type code and extension, in table order.
struct ExpectedKind {
  uint8_t type;
  const char* extension;
};
constexpr ExpectedKind kinds[] = {{1, ".bin"}, {2, ".rom"}, {3, ".caq"}, {4, ".txt"},
                                  {5, ".pt3"}, {6, ".bas"}, {7, ".scr"}, {8, ".vst"}, {9, ".wav"}};
constexpr size_t kind_count = sizeof kinds / sizeof kinds[0];

// What the CPU sees at an address through the page table (opcode fetches do no memtop test).
uint8_t seen(uint16_t address) { return FetchOpcode(address); }

}  // namespace

TEST(FileRecognition, TableOrderAndExtensionsInAnyCase) {
  for (size_t k = 0; k < kind_count; ++k) {
    EXPECT_EQ(file_type[k].type, kinds[k].type);
    EXPECT_STREQ(file_type[k].extension, kinds[k].extension);
  }
  EXPECT_EQ(file_type[kind_count].type, 255);

  // Users name files in every case: GAME.ROM, game.rom and CHESS.Rom are all cartridges.
  for (const ExpectedKind& k : kinds) {
    std::string mixed = k.extension;
    for (size_t i = 1; i < mixed.size(); i += 2) mixed[i] = static_cast<char>(std::toupper(mixed[i]));
    std::string upper = k.extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    for (const std::string& ext : {std::string(k.extension), upper, mixed}) {
      const std::string name = "/some/dir/GAME" + ext;
      ASSERT_EQ(check_file(name), 0) << name;
      EXPECT_EQ(file_type_ptr->type, k.type) << name;
    }
  }
  // A rejected name leaves the pointer on the end marker.
  for (const char* name : {"GAME.ROM ", "GAMEROM", "a.doc", "x.b1n", "x.rÏm"}) {
    EXPECT_EQ(check_file(name), 1) << name;
    EXPECT_EQ(file_type_ptr, &file_type[kind_count]) << name;
  }
  EXPECT_EQ(check_file("/states/Astro.VST"), 0);
  EXPECT_TRUE(is_state_file("/states/Astro.VST"));
  EXPECT_FALSE(is_state_file("Astro.vst.txt"));
  // Only the last four characters count.
  EXPECT_EQ(check_file("listing.rom.txt"), 0);
  EXPECT_EQ(file_type_ptr->type, 4);
  EXPECT_EQ(check_file(".bin"), 0);
  EXPECT_EQ(file_type_ptr->type, 1);
  // Names shorter than an extension.
  for (const char* name : {"", "b", "bin", "ROM"}) EXPECT_EQ(check_file(name), 1) << name;
}

TEST_F(LoadingTest, CartridgePlacementAndPadding) {
  ASSERT_NE(ram, nullptr);
  // RAM behind the cartridge pages gets a marker so that "left as RAM" is visible.
  for (uint32_t a = 0xC000; a <= 0xFFFF; ++a) ram[a] = 0x5A;

  // 16K: first half at 0xC000, second at 0xE000.
  auto image16 = pattern_bytes(16384, 1);
  ASSERT_EQ(do_load_file(write_file(dir_, "GAME16.ROM", image16)), 0);
  for (uint32_t i = 0; i < 16384; i += 97) EXPECT_EQ(seen(static_cast<uint16_t>(0xC000 + i)), image16[i]) << i;
  EXPECT_EQ(seen(0xFFFF), image16[16383]);
  EXPECT_EQ(seen(0xC000), image16[0]);

  // 8K: all of it at 0xE000; 0xC000-0xDFFF is RAM again (the 16K image it replaces is gone).
  auto image8 = pattern_bytes(8192, 2);
  ASSERT_EQ(do_load_file(write_file(dir_, "game8.bin", image8)), 0);
  for (uint32_t i = 0; i < 8192; i += 89) EXPECT_EQ(seen(static_cast<uint16_t>(0xE000 + i)), image8[i]) << i;
  EXPECT_EQ(seen(0xFFFF), image8[8191]);
  EXPECT_EQ(seen(0xC000), 0x5A);
  EXPECT_EQ(seen(0xDFFF), 0x5A);

  // 5000 bytes: padded with 0xFF to 8K at 0xE000.
  auto image5000 = pattern_bytes(5000, 3);
  ASSERT_EQ(do_load_file(write_file(dir_, "small.rom", image5000)), 0);
  EXPECT_EQ(seen(0xE000), image5000[0]);
  EXPECT_EQ(seen(0xE000 + 4999), image5000[4999]);
  for (uint32_t a = 0xE000 + 5000; a <= 0xFFFF; ++a) ASSERT_EQ(seen(static_cast<uint16_t>(a)), 0xFF) << a;
  EXPECT_EQ(seen(0xDFFF), 0x5A);
  EXPECT_EQ(aqua_cart_size, 8192u);

  // 12000 bytes: padded with 0xFF to 16K at 0xC000.
  auto image12000 = pattern_bytes(12000, 4);
  ASSERT_EQ(do_load_file(write_file(dir_, "mid.BIN", image12000)), 0);
  EXPECT_EQ(seen(0xC000), image12000[0]);
  EXPECT_EQ(seen(0xDFFF), image12000[8191]);
  EXPECT_EQ(seen(0xE000), image12000[8192]);
  EXPECT_EQ(seen(0xC000 + 11999), image12000[11999]);
  for (uint32_t a = 0xC000 + 12000; a <= 0xFFFF; ++a) ASSERT_EQ(seen(static_cast<uint16_t>(a)), 0xFF) << a;

  // 20000 bytes and empty: refused with a reason; the 12000-byte cartridge stays mapped.
  ASSERT_EQ(do_load_file(write_file(dir_, "huge.rom", pattern_bytes(20000, 5))), 1);
  EXPECT_FALSE(load_error.empty());
  load_error.clear();
  ASSERT_EQ(do_load_file(write_file(dir_, "empty.rom", {})), 1);
  EXPECT_FALSE(load_error.empty());
  EXPECT_EQ(seen(0xC000), image12000[0]);
  EXPECT_EQ(seen(0xE000), image12000[8192]);

  // The RAM behind the pages was never written.
  for (uint32_t a = 0xC000; a <= 0xFFFF; a += 111) ASSERT_EQ(ram[a], 0x5A) << a;
}

TEST_F(LoadingTest, MenuAndDropPathsDiffer) {
  // .bas is typed from the menu (after RETURN held for a while) and when dropped.
  std::string bas = write_text(dir_, "prog.bas", "10 print\n");
  load_file_begin();
  EXPECT_EQ(menu_load_path(bas), 0);
  EXPECT_TRUE(spool_file);
  load_file_end();
  while (spool_file) read_spool_file();
  EXPECT_EQ(do_load_file(bas), 0);
  EXPECT_TRUE(spool_file);
  EXPECT_EQ(spool_len, 9u);
  EXPECT_EQ(spool_speed, 2);
  EXPECT_EQ(speed, 1);
  reset_loading_state();

  // An unrecognised name: the menu shows the error box naming the file, the drop path says nothing.
  std::string odd = write_text(dir_, "GAME.Rum", "x");
  int errors = headless_error_count;
  EXPECT_EQ(do_load_file(odd), 1);
  EXPECT_EQ(headless_error_count, errors);
  load_file_begin();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(menu_load_path(odd), 1);
  std::string shown = ::testing::internal::GetCapturedStderr();
  load_file_end();
  EXPECT_EQ(headless_error_count, errors + 1);
  EXPECT_EQ(shown.rfind("00 - ", 0), 0u) << shown;
  EXPECT_NE(shown.find("GAME.Rum"), std::string::npos) << shown;

  // .pt3 and .scr are for programs on the USB stick, save states for the state loader: both
  // paths say they were not loaded.
  for (const char* name : {"tune.pt3", "pic.SCR", "old.Vst"}) {
    std::string path = write_text(dir_, name, "data");
    EXPECT_EQ(do_load_file(path), 1) << name;
    load_file_begin();
    EXPECT_EQ(menu_load_path(path), 1) << name;
    load_file_end();
    EXPECT_EQ(headless_error_count, ++errors + 1) << name;
  }
  // The menu releases the file buffer; the drop path keeps it until the next read.
  std::string cart = write_file(dir_, "c.rom", pattern_bytes(8192, 9));
  EXPECT_EQ(do_load_file(cart), 0);
  EXPECT_NE(file.data, nullptr);
  EXPECT_EQ(file.size, 8192u);
  load_file_begin();
  EXPECT_EQ(menu_load_path(cart), 0);
  load_file_end();
  EXPECT_EQ(file.data, nullptr);
  EXPECT_EQ(file.size, 0u);
}

TEST_F(LoadingTest, UnreadableFilesChangeNothing) {
  auto image = pattern_bytes(8192, 7);
  ASSERT_EQ(do_load_file(write_file(dir_, "good.rom", image)), 0);
  ASSERT_EQ(do_load_file(write_file(dir_, "tape.caq", {1, 2, 3})), 0);
  ASSERT_TRUE(caq_loaded);
  uint8_t* kept_data = file.data;

  std::filesystem::create_directory(dir_ + "/folder.rom");
  std::vector<std::string> bad = {dir_ + "/missing.rom", dir_ + "/folder.rom", dir_ + "/missing.caq",
                                  dir_ + "/missing.txt"};
  for (const std::string& path : bad) {
    load_error.clear();
    EXPECT_EQ(do_load_file(path), 1) << path;
    EXPECT_FALSE(load_error.empty()) << path;
    EXPECT_EQ(file.data, kept_data) << path;
    EXPECT_EQ(seen(0xE000), image[0]) << path;
    EXPECT_FALSE(spool_file) << path;
    EXPECT_TRUE(caq_loaded) << path;
  }

  // From the menu: the error box names the file and the reason.
  int errors = headless_error_count;
  load_file_begin();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(menu_load_path(dir_ + "/missing.rom"), 1);
  std::string shown = ::testing::internal::GetCapturedStderr();
  load_file_end();
  EXPECT_EQ(headless_error_count, errors + 1);
  EXPECT_NE(shown.find("missing.rom: "), std::string::npos) << shown;
  EXPECT_NE(shown.find(std::strerror(ENOENT)), std::string::npos) << shown;
  EXPECT_EQ(seen(0xE000), image[0]);

  // An oversized cartridge from the menu: the box, and the old cartridge stays.
  load_file_begin();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(menu_load_path(write_file(dir_, "big.bin", pattern_bytes(16385, 1))), 1);
  shown = ::testing::internal::GetCapturedStderr();
  load_file_end();
  EXPECT_EQ(headless_error_count, errors + 2);
  EXPECT_NE(shown.find("big.bin: "), std::string::npos) << shown;
  EXPECT_EQ(seen(0xE000), image[0]);
  EXPECT_EQ(seen(0xC000), 0);

  // A directory in a file's place, from the menu: the box says why it cannot be read.
  load_file_begin();
  ::testing::internal::CaptureStderr();
  const std::string folder = dir_ + "/folder.rom";
  mkdir(folder.c_str(), 0700);
  EXPECT_EQ(menu_load_path(folder), 1);
  shown = ::testing::internal::GetCapturedStderr();
  load_file_end();
  EXPECT_NE(shown.find(": cannot be read (not a regular file)"), std::string::npos) << shown;

  // A file without read permission (meaningless for root, who reads everything).
  if (geteuid() != 0) {
    std::string locked = write_file(dir_, "locked.rom", pattern_bytes(8192, 3));
    chmod(locked.c_str(), 0);
    EXPECT_EQ(do_load_file(locked), 1);
    EXPECT_EQ(load_error, std::strerror(EACCES));
    EXPECT_EQ(seen(0xE000), image[0]);
  }
}

TEST_F(LoadingTest, CassetteStreamEndsAndReleases) {
  // With nothing inserted the port reads 0xFF.
  EXPECT_EQ(ReadPort(0x00FC), 0xFF);
  EXPECT_EQ(get_caq_byte(), 0xFF);

  std::vector<uint8_t> tape = {0x00, 0xFF, 0x12, 0x34, 0xFE, 0x00, 0x7F};
  ASSERT_EQ(do_load_file(write_file(dir_, "t.CAQ", tape)), 0);
  ASSERT_TRUE(caq_loaded);
  for (size_t i = 0; i < tape.size(); ++i) EXPECT_EQ(ReadPort(static_cast<uint16_t>(0x12FC)), tape[i]) << i;
  // Then the trailer of a real recording, which many images leave out: reads n + 1 to n + 16.
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ReadPort(0x00FC), 0x00) << "trailer byte " << i;
  ASSERT_NE(aqua_caq, nullptr);
  EXPECT_EQ(ReadPort(0x00FC), 0xFF);  // read n + 17
  EXPECT_EQ(aqua_caq, nullptr);
  EXPECT_EQ(caq_count, 0u);
  EXPECT_TRUE(caq_loaded);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadPort(0x00FC), 0xFF);

  // The insertion patches the ROM's byte-read routine into a single port read.
  const uint8_t patch[6] = {0x0E, 0xFC, 0xED, 0x78, 0xD9, 0xC9};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(FetchOpcode(static_cast<uint16_t>(0x1B4E + i)), patch[i]);

  // An empty image is a stream of the trailer alone.
  ASSERT_EQ(do_load_file(write_file(dir_, "empty.caq", {})), 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ReadPort(0x00FC), 0x00);
  EXPECT_EQ(ReadPort(0x00FC), 0xFF);
  EXPECT_EQ(aqua_caq, nullptr);
}

TEST_F(LoadingTest, TrapRearmsAfterMenuReleasedTheFile) {
  std::vector<uint8_t> tape = pattern_bytes(300, 11);
  std::string path = write_file(dir_, "game.caq", tape);
  load_file_begin();
  ASSERT_EQ(menu_load_path(path), 0);
  load_file_end();
  ASSERT_EQ(file.data, nullptr);
  ASSERT_TRUE(caq_loaded);

  for (int i = 0; i < 100; ++i) ASSERT_EQ(get_caq_byte(), tape[i]);
  // The trap re-arms in mid-stream: the position is kept.
  aqua_get_caq_file();
  for (int i = 100; i < 300 + 16; ++i) ASSERT_EQ(get_caq_byte(), i < 300 ? tape[i] : 0) << i;
  EXPECT_EQ(get_caq_byte(), 0xFF);
  EXPECT_EQ(aqua_caq, nullptr);
  // Exhausted: re-arming starts the image again from its first byte.
  aqua_get_caq_file();
  for (int i = 0; i < 300 + 16; ++i) ASSERT_EQ(get_caq_byte(), i < 300 ? tape[i] : 0) << i;
  EXPECT_EQ(get_caq_byte(), 0xFF);

  // The file buffer being reused for something else (the Micro Expander's ROM goes through
  // it) does not change what the trap re-arms.
  current_filename = write_file(dir_, "other.rom", pattern_bytes(8192, 99));
  ASSERT_TRUE(aqua_read_file());
  aqua_get_caq_file();
  EXPECT_EQ(get_caq_byte(), tape[0]);
}

TEST_F(LoadingTest, RefusedLoadsKeepTheCassetteWhereItWas) {
  ASSERT_EQ(do_load_file(write_file(dir_, "t.caq", {0x42, 0x43, 0x44})), 0);
  ASSERT_EQ(ReadPort(0x00FC), 0x42);
  const std::string fifo = dir_ + "/pipe.caq";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string oversized = write_file(dir_, "huge.caq", {});
  ASSERT_EQ(truncate(oversized.c_str(), MAX_LOAD_FILE_BYTES + 1), 0);
  const std::vector<std::string> refused = {dir_ + "/missing.caq", write_text(dir_, "notes.doc", "x"), fifo,
                                            oversized, write_file(dir_, "big.rom", pattern_bytes(16385, 2)),
                                            write_text(dir_, "tune.pt3", "x")};
  for (const std::string& path : refused) {
    EXPECT_EQ(do_load_file(path), 1) << path;
    EXPECT_TRUE(caq_loaded) << "dropped " << path;
    load_file_begin();
    ::testing::internal::CaptureStderr();
    menu_load_path(path);
    ::testing::internal::GetCapturedStderr();
    load_file_end();
    EXPECT_TRUE(caq_loaded) << "chosen " << path;
  }
  // A cancelled chooser; ending twice is harmless.
  load_file_begin();
  load_file_end();
  load_file_end();
  EXPECT_EQ(file.data, nullptr);
  EXPECT_TRUE(caq_loaded);
  EXPECT_EQ(ReadPort(0x00FC), 0x43) << "the tape goes on where it was";
  // An accepted file takes the cassette's place.
  ASSERT_EQ(do_load_file(write_file(dir_, "c.rom", pattern_bytes(8192, 9))), 0);
  EXPECT_FALSE(caq_loaded);
  EXPECT_EQ(ReadPort(0x00FC), 0xFF);
}
