// Host names and 8.3 forms, directory entries, wildcard listings, files and directories.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "ch376_fixture.h"

namespace {

std::string trimmed(const char* name) {
  char out[64];
  trim_file_name(name, out);
  return out;
}

// nullptr for a name without an 8.3 form.
std::string short_form(const char* host_name) {
  char out[12];
  std::memset(out, '#', sizeof out);
  const char* r = normalize_file_name(host_name, out);
  if (!r) return "<none>";
  EXPECT_EQ(r, out);
  EXPECT_EQ(out[11], 0);
  return std::string(out, 11);
}

}  // namespace

TEST(Ch376Names, TrimmingCommandNames) {
  EXPECT_EQ(trimmed("HELLO.BAS"), "HELLO.BAS");
  EXPECT_EQ(trimmed("HELLO   .BAS"), "HELLO.BAS");
  EXPECT_EQ(trimmed("HELLO."), "HELLO");
  EXPECT_EQ(trimmed("HELLO   BAS"), "HELLOBAS");
  EXPECT_EQ(trimmed("A B C"), "AB");
  EXPECT_EQ(trimmed("   LEAD"), "LEAD");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("    "), "");
  EXPECT_EQ(trimmed(".."), ".");
  EXPECT_EQ(trimmed("X.."), "X.");
}

TEST(Ch376Names, EightDotThreeForms) {
  EXPECT_EQ(short_form("readme.txt"), "README  TXT");
  EXPECT_EQ(short_form("Makefile"), "MAKEFILE   ");
  EXPECT_EQ(short_form("LongFileName.txt"), "<none>");
  EXPECT_EQ(short_form("archive.tar.gz"), "<none>");
  EXPECT_EQ(short_form("page.html"), "<none>");
  EXPECT_EQ(short_form("."), "           ");
  EXPECT_EQ(short_form(".."), "<none>");
  EXPECT_EQ(short_form(".ab"), "        AB ");
  EXPECT_EQ(short_form(""), "           ");
  EXPECT_EQ(short_form("12345678.123"), "12345678123");
  EXPECT_EQ(short_form("a-b_c!.x"), "A-B_C!  X  ");
  EXPECT_EQ(short_form("\xe9t\xe9.z"), "\xe9T\xe9     Z  ") << "bytes 0x80-0xFE pass unchanged";
  EXPECT_EQ(short_form("bad\xff.txt"), "<none>");
  EXPECT_EQ(short_form("ok.t\xff"), "<none>");
  EXPECT_EQ(short_form("*.*"), "*       *  ");
}

TEST_F(Ch376Test, ListingsShowEightDotThreeEntries) {
  write_host_file(usb / "readme.txt", sample_bytes(1234));
  write_host_file(usb / "Makefile", {});
  write_host_file(usb / "LongFileName.txt", {1});
  write_host_file(usb / "archive.tar.gz", {1});
  write_host_file(usb / "page.html", {1});
  write_host_file(usb / "ABC.BAS", sample_bytes(70000));
  write_host_file(usb / "a1.txt", {1, 2});
  write_host_file(usb / "lock.dat", {1, 2, 3});
  fs::permissions(usb / "lock.dat", fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directory(usb / "games");
  fs::create_directory(usb / "ro");
  fs::permissions(usb / "ro", fs::perms::owner_write, fs::perm_options::remove);
  ASSERT_EQ(mount(), USB_INT_SUCCESS);

  // Collects every entry of a listing: 8.3 name -> attribute byte and size; `order` keeps the
  // names as they came.
  std::vector<std::string> order;
  auto list = [&](const std::string& pattern) {
    std::map<std::string, std::pair<int, uint32_t>> seen;
    order.clear();
    uint8_t st = name_command(FILE_OPEN, pattern);
    for (int guard = 0; guard < 100 && st == USB_INT_DISK_READ; ++guard) {
      std::vector<uint8_t> e = read_result();
      EXPECT_EQ(e.size(), 32u);
      if (e.size() != 32) break;
      EXPECT_TRUE(std::all_of(e.begin() + 12, e.begin() + 28, [](uint8_t b) { return b == 0; }));
      uint32_t size = e[28] | e[29] << 8 | e[30] << 16 | static_cast<uint32_t>(e[31]) << 24;
      seen[std::string(e.begin(), e.begin() + 11)] = {e[11], size};
      order.emplace_back(e.begin(), e.begin() + 11);
      command(FILE_ENUM_GO);
      st = get_status();
    }
    EXPECT_EQ(st, ERR_MISS_FILE) << "a listing ends with 0x42";
    return seen;
  };
  auto everything = list("/*");
  std::set<std::string> names;
  for (auto& [n, v] : everything) names.insert(n);
  EXPECT_EQ(names, (std::set<std::string>{"README  TXT", "MAKEFILE   ", "ABC     BAS", "A1      TXT",
                                          "LOCK    DAT", "GAMES      ", "RO         "}));
  EXPECT_EQ(everything["README  TXT"], std::make_pair(0x00, 1234u));
  EXPECT_EQ(everything["ABC     BAS"], std::make_pair(0x00, 70000u));
  EXPECT_EQ(everything["LOCK    DAT"], std::make_pair(0x01, 3u));
  EXPECT_EQ(everything["GAMES      "].first, 0x10);
  EXPECT_EQ(everything["RO         "].first, 0x11);
  // "*.BAS" lists everything too: the '*' at position 0 makes every position a wildcard.
  EXPECT_EQ(list("*.BAS"), everything);
  auto a_star = list("A*");
  std::set<std::string> a_names;
  for (auto& [n, v] : a_star) a_names.insert(n);
  EXPECT_EQ(a_names, (std::set<std::string>{"ABC     BAS", "A1      TXT"}));
  EXPECT_TRUE(list("TOOLONGNAME*").empty());
  // '?' starts a listing but only matches itself.
  EXPECT_TRUE(list("A?.TXT").empty());
  // Letters match regardless of case.
  EXPECT_EQ(list("readme.*").size(), 1u);
  // A subdirectory lists "." and ".." by their FAT names, as directories, first (as a FAT
  // directory holds them), whatever the host's order; the root (above) has neither. One that
  // has gone away lists nothing, not the root.
  for (const char* name : {"pac.rom", "b.bas", "c.bas", "d.bas", "e.bas", "f.bas"})
    write_host_file(usb / "games" / name, {1});
  ASSERT_EQ(name_command(FILE_OPEN, "/games"), ERR_OPEN_DIR);
  const auto sub_listing = list("*");
  EXPECT_EQ(sub_listing.size(), 8u);
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0], ".          ");
  EXPECT_EQ(order[1], "..         ");
  EXPECT_EQ(sub_listing.at(".          ").first, 0x10);
  EXPECT_EQ(sub_listing.at("..         ").first, 0x10);
  EXPECT_EQ(sub_listing.count("PAC     ROM"), 1u);
  EXPECT_EQ(list("P*").size(), 1u) << "the dots are listed only where they match";
  fs::remove_all(usb / "games");
  EXPECT_TRUE(list("*").empty());
  // FILE_ENUM_GO with no listing running.
  command(FILE_ENUM_GO);
  EXPECT_EQ(get_status(), ERR_MISS_FILE);
}

TEST_F(Ch376Test, FreshRecordResolvesAgainstTheRoot) {
  // Before any name starting with "/", names resolve in the mounted directory (the program
  // directory lies outside the stick), and a listing shows the stick's top level.
  write_host_file(usb / "TOP.DAT", {9, 8, 7});
  write_host_file(prog / "PROG.DAT", {1});
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  EXPECT_EQ(name_command(FILE_OPEN, "PROG.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "TOP.DAT"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(3), std::vector<uint8_t>({9, 8, 7}));
  EXPECT_EQ(name_command(FILE_OPEN, "*"), USB_INT_DISK_READ);
  EXPECT_TRUE(ch376->current_dir.empty());
}

TEST_F(Ch376Test, OpeningCreatingAndErasing) {
  // Names resolve against explicit paths: the process's working directory never moves.
  const fs::path working_directory = fs::current_path();
  // Before a mount every name command aborts.
  for (uint8_t cmd : {FILE_OPEN, FILE_CREATE, FILE_ERASE, DIR_CREATE}) {
    EXPECT_EQ(name_command(cmd, "X.DAT"), CMD_RET_ABORT) << int(cmd);
  }
  EXPECT_FALSE(fs::exists(usb / "X.DAT"));
  fs::create_directories(usb / "GAMES");
  write_host_file(usb / "GAMES" / "PAC.DAT", {0x50});
  write_host_file(usb / "HELLO.BAS", {'1', '0'});
  write_host_file(usb / "RO.DAT", {1});
  fs::permissions(usb / "RO.DAT", fs::perms::owner_write, fs::perm_options::remove);
  ASSERT_EQ(mount(), USB_INT_SUCCESS);

  // "/" alone: the root is opened as the current directory.
  EXPECT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
  EXPECT_EQ(ch376->current_dir, root());
  EXPECT_EQ(ch376->is_directory, 1);
  // A leading "/" resets to the root and resolves the rest below it.
  EXPECT_EQ(name_command(FILE_OPEN, "/GAMES"), ERR_OPEN_DIR);
  EXPECT_EQ(ch376->current_dir, root() + "/GAMES");
  EXPECT_EQ(name_command(FILE_OPEN, "/GAMES/PAC.DAT"), USB_INT_SUCCESS);
  EXPECT_EQ(ch376->current_dir, root());
  EXPECT_EQ(byte_read(1), std::vector<uint8_t>({0x50}));
  // Spaces inside the 8.3 name are dropped.
  EXPECT_EQ(name_command(FILE_OPEN, "HELLO   .BAS"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(2), std::vector<uint8_t>({'1', '0'}));
  // ".." trims to "." and opens the current directory itself.
  EXPECT_EQ(name_command(FILE_OPEN, ".."), ERR_OPEN_DIR);
  EXPECT_EQ(ch376->current_dir, root());
  // ".pt3" files go through the run-loader, which puts a dot before the last three
  // characters: SONGPT3 opens SONG.PT3, and so does SONG.PT3 as it is named.
  write_host_file(usb / "SONG.PT3", {0x33});
  EXPECT_EQ(name_command(FILE_OPEN, "/SONGPT3"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(1), std::vector<uint8_t>({0x33}));
  EXPECT_EQ(name_command(FILE_OPEN, "/SONG.PT3"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(1), std::vector<uint8_t>({0x33}));
  EXPECT_EQ(name_command(FILE_OPEN, "/TUNEPT3"), ERR_MISS_FILE);
  // A FIFO named like a cartridge is neither run nor opened, and nothing waits on it.
  ASSERT_EQ(mkfifo((usb / "PIPE.ROM").c_str(), 0644), 0);
  EXPECT_EQ(name_command(FILE_OPEN, "/PIPEROM"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "/PIPE.ROM"), ERR_MISS_FILE);
  fs::remove(usb / "PIPE.ROM");
  // Missing files; a read-only file opens for reading as on FAT, and neither a write, a create
  // nor an erase changes it.
  EXPECT_EQ(name_command(FILE_OPEN, "NOPE.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "RO.DAT"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(1), std::vector<uint8_t>({1}));
  EXPECT_EQ(name_command(FILE_OPEN, "RO.DAT"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_write({9, 9}), USB_INT_DISK_ERR);
  EXPECT_EQ(name_command(FILE_CREATE, "RO.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, "RO.DAT"), USB_INT_DISK_ERR);
  EXPECT_EQ(read_host_file(usb / "RO.DAT"), std::vector<uint8_t>({1})) << "the read-only file is untouched";
  // Only names with an 8.3 form are created: nothing DIR could not list lands on the host.
  for (const char* bad : {"ABCDEFGHI.BAS", "A.B.C", "A\\B.BAS", "Q?.BAS", "S*.BAS", "/.BAS", "ABC.DEFG"}) {
    EXPECT_EQ(name_command(FILE_CREATE, bad), ERR_MISS_FILE) << bad;
    EXPECT_EQ(name_command(DIR_CREATE, bad), ERR_MISS_FILE) << bad;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(usb), fs::directory_iterator()), 4) << "GAMES, HELLO.BAS, RO.DAT, SONG.PT3";
  // Names are at most 14 characters.
  set_name("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ch376->buffer)), "ABCDEFGHIJKLMN");
  // Creating an existing file empties it; an empty name creates nothing.
  EXPECT_EQ(name_command(FILE_CREATE, "HELLO.BAS"), USB_INT_SUCCESS);
  EXPECT_EQ(fs::file_size(usb / "HELLO.BAS"), 0u);
  EXPECT_EQ(name_command(FILE_CREATE, ""), USB_INT_SUCCESS);
  // Erasing a file, then a missing one.
  EXPECT_EQ(name_command(FILE_ERASE, "HELLO.BAS"), USB_INT_SUCCESS);
  EXPECT_FALSE(fs::exists(usb / "HELLO.BAS"));
  EXPECT_EQ(name_command(FILE_ERASE, "HELLO.BAS"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, ""), ERR_MISS_FILE);

  // Directories: create and enter, again (exists: entered), over a file (0x43).
  EXPECT_EQ(name_command(DIR_CREATE, "/NEW"), USB_INT_SUCCESS);
  EXPECT_TRUE(fs::is_directory(usb / "NEW"));
  EXPECT_EQ(ch376->current_dir, root() + "/NEW");
  EXPECT_EQ(name_command(DIR_CREATE, "/NEW"), USB_INT_SUCCESS);
  EXPECT_EQ(ch376->current_dir, root() + "/NEW");
  EXPECT_EQ(name_command(DIR_CREATE, "/GAMES/PAC.DAT"), ERR_FOUND_NAME);
  EXPECT_EQ(name_command(DIR_CREATE, ""), ERR_MISS_FILE);
  // Files created in the entered directory land there.
  ASSERT_EQ(name_command(DIR_CREATE, "/NEW"), USB_INT_SUCCESS);
  EXPECT_EQ(name_command(FILE_CREATE, "IN.DAT"), USB_INT_SUCCESS);
  EXPECT_TRUE(fs::exists(usb / "NEW" / "IN.DAT"));
  // Open a directory, then erase: it goes only when empty.
  EXPECT_EQ(name_command(FILE_OPEN, "/NEW"), ERR_OPEN_DIR);
  command(FILE_ERASE);
  EXPECT_EQ(get_status(), ERR_MISS_FILE);
  EXPECT_TRUE(fs::exists(usb / "NEW"));
  fs::remove(usb / "NEW" / "IN.DAT");
  EXPECT_EQ(name_command(FILE_OPEN, "/NEW"), ERR_OPEN_DIR);
  command(FILE_ERASE);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_FALSE(fs::exists(usb / "NEW"));
  // The root itself is never erased, even when it is the opened directory.
  fs::remove_all(usb / "GAMES");
  fs::permissions(usb / "RO.DAT", fs::perms::owner_write, fs::perm_options::add);
  fs::remove(usb / "RO.DAT");
  EXPECT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
  EXPECT_EQ(name_command(FILE_OPEN, ".."), ERR_OPEN_DIR);  // "." once trimmed: the root again
  EXPECT_EQ(ch376->is_directory, 1);
  command(FILE_ERASE);
  EXPECT_EQ(get_status(), ERR_MISS_FILE);
  EXPECT_TRUE(fs::is_directory(usb));
  EXPECT_EQ(fs::current_path(), working_directory);
}

TEST_F(Ch376Test, NamesFindHostEntriesIgnoringCase) {
  // Each file holds its own host name; the first in byte order is created neither first nor last.
  fs::create_directories(usb / "games");
  for (const char* n : {"tWO.DAT", "Two.dat", "two.dat", "games/pac.dat", "games/song.pt3"})
    write_host_file(usb / n, std::vector<uint8_t>(n, n + std::strlen(n)));
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  auto opened = [&](const std::string& name) {
    std::vector<uint8_t> v = name_command(FILE_OPEN, name) == USB_INT_SUCCESS ? byte_read(20) : std::vector<uint8_t>{};
    return std::string(v.begin(), v.end());
  };
  EXPECT_EQ(opened("/GAMES/PAC.DAT"), "games/pac.dat");
  EXPECT_EQ(opened("/GAMES/SONGPT3"), "games/song.pt3") << "the run-loader's dotless name";
  EXPECT_EQ(opened("/two.dat"), "two.dat") << "an exact match wins";
  EXPECT_EQ(opened("TWO.DAT"), "Two.dat") << "else the first in byte order";
  // CD and DIR_CREATE enter the existing directory; a created file keeps the program's name.
  EXPECT_EQ(name_command(FILE_OPEN, "/GAMES"), ERR_OPEN_DIR);
  EXPECT_EQ(name_command(DIR_CREATE, "/GAMES"), USB_INT_SUCCESS);
  EXPECT_EQ(ch376->current_dir, root() + "/games");
  EXPECT_EQ(name_command(FILE_CREATE, "PAC.DAT"), USB_INT_SUCCESS);
  EXPECT_TRUE(fs::exists(usb / "games/PAC.DAT") && fs::file_size(usb / "games/pac.dat") == 13u);
  // Erasing by a case-only name removes that entry and no other.
  EXPECT_EQ(name_command(FILE_ERASE, "SONG.PT3"), USB_INT_SUCCESS);
  EXPECT_EQ(name_command(FILE_ERASE, "/TWO.DAT"), USB_INT_SUCCESS);
  EXPECT_TRUE(!fs::exists(usb / "games/song.pt3") && !fs::exists(usb / "Two.dat") && fs::exists(usb / "two.dat"));
}

TEST_F(Ch376Test, CreateTakesOnlyNamesFatAndTheHostCanHold) {
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  std::vector<std::pair<std::string, bool>> table = {
      {"OK.TXT", true}, {"lower.txt", true}, {"!#$%&'().-@^", true}, {"_`{}~.TXT", true}, {"A\nB.TXT", false},
      {"A\x01", false}, {"DEL\x7f", false}, {"X.\x7f", false}, {"\xe9T\xe9", false}, {"C\xc3\xa9.TXT", false}};
  for (char c : std::string("\"*+,:;<=>?[\\]|")) table.push_back({std::string("A") + c + "B.TXT", false});
  for (const auto& [name, made] : table) {
    for (uint8_t cmd : {FILE_CREATE, DIR_CREATE}) {
      SCOPED_TRACE(testing::PrintToString(name) + (cmd == FILE_CREATE ? " file" : " directory"));
      EXPECT_EQ(name_command(cmd, "/" + name), made ? USB_INT_SUCCESS : ERR_MISS_FILE);
      EXPECT_EQ(fs::exists(usb / name), made);
      fs::remove(usb / name);
      EXPECT_TRUE(fs::is_empty(usb));
    }
  }
}
