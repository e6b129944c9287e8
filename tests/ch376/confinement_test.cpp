// Nothing the emulated program sends reaches outside the usb directory. The fixture's
// TearDown checks the sibling directory "o" (canary files, contents and mtimes) and the
// top level after every test.
#include <algorithm>

#include "ch376_fixture.h"

TEST_F(Ch376Test, DotDotAndAbsoluteNamesAreRefused) {
  fs::create_directory(usb / "SUB");
  write_host_file(usb / "SUB" / "IN.DAT", {1});
  write_host_file(usb / "UP.DAT", {2});
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  // Every way up and out of the root, for every command that takes a name.
  const std::vector<std::string> escapes = {"../o/c.txt", "/../o/c.txt", "../../prog", "../../../../../../",
                                            "/../..", "...",  "SUB/../../o", "//tmp", "//etc/passwd", "//",
                                            "../o", "/../o/deep"};
  for (const std::string& name : escapes) {
    SCOPED_TRACE(name);
    EXPECT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
    EXPECT_EQ(name_command(FILE_OPEN, name), ERR_MISS_FILE);
    EXPECT_EQ(ch376->current_dir, root()) << "the current directory never leaves the stick";
    EXPECT_EQ(ch376->open_file, nullptr);
    EXPECT_NE(name_command(FILE_CREATE, name), USB_INT_SUCCESS);
    EXPECT_EQ(name_command(FILE_ERASE, name), ERR_MISS_FILE);
    EXPECT_EQ(name_command(DIR_CREATE, name), ERR_MISS_FILE);
    EXPECT_EQ(ch376->current_dir, root());
  }
  // Creating through a parent reference that leaves the root.
  EXPECT_EQ(name_command(FILE_CREATE, "/../o/new"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "/../o/nd"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "../nd"), ERR_MISS_FILE);
  // Wildcard listings of a parent are impossible too: the pattern is matched in the current
  // directory only, so "../*" finds nothing rather than listing the parent.
  EXPECT_EQ(name_command(FILE_OPEN, "/../*"), ERR_MISS_FILE);
  // Inside the stick, ".." is fine.
  EXPECT_EQ(name_command(FILE_OPEN, "/SUB"), ERR_OPEN_DIR);
  EXPECT_EQ(name_command(FILE_OPEN, "../UP.DAT"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(1), std::vector<uint8_t>({2}));
  EXPECT_EQ(name_command(FILE_OPEN, "/SUB/../SUB/IN.DAT"), ERR_MISS_FILE) << "14 characters: the name is cut";
  EXPECT_EQ(name_command(FILE_OPEN, "/SUB/../UP.DAT"), USB_INT_SUCCESS);
}

TEST_F(Ch376Test, ConfinedPathForTheLoader) {
  std::string out = "unchanged";
  EXPECT_FALSE(ch376_confined_path("A.ROM", out)) << "nothing mounted";
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  EXPECT_TRUE(ch376_confined_path("A.ROM", out));
  EXPECT_EQ(out, root() + "/A.ROM") << "a name about to be created resolves too";
  EXPECT_TRUE(ch376_confined_path(root() + "//A.ROM", out)) << "a path built from the current directory";
  EXPECT_EQ(out, root() + "/A.ROM");
  EXPECT_FALSE(ch376_confined_path((outside / "c.txt").string(), out));
  EXPECT_FALSE(ch376_confined_path(root() + "/../o/c.txt", out));
  EXPECT_FALSE(ch376_confined_path(root() + "2", out)) << "a sibling that shares the root's name as a prefix";
  EXPECT_FALSE(ch376_confined_path("/etc/passwd", out));
  EXPECT_FALSE(ch376_confined_path("NOSUB/A.ROM", out)) << "the directories above the name must exist";
  // The loader's type-5 open goes through the same confinement.
  write_host_file(usb / "SONG.PT3", {3});
  FILE* f = system_file_open_existing("SONG.PT3", root());
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(system_file_open_existing((outside / "c.txt").string(), ""), nullptr);
  EXPECT_EQ(system_file_open_existing("../o/c.txt", root()), nullptr);
  EXPECT_EQ(system_file_open_existing("c.txt", outside.string()), nullptr);
  fs::create_directory(prog / "usb2");
  EXPECT_FALSE(ch376_confined_path(prog.string() + "/usb2", out));
  fs::remove(prog / "usb2");
}

TEST_F(Ch376Test, SymbolicLinksLeadingOutAreRefused) {
  fs::create_directory_symlink(outside, usb / "lnk");
  fs::create_symlink(outside / "c.txt", usb / "fl");
  fs::create_symlink(outside / "gone.txt", usb / "dang");  // dangling, would create outside
  write_host_file(usb / "real.dat", {4, 5});
  fs::create_symlink(usb / "real.dat", usb / "in");
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  EXPECT_EQ(name_command(FILE_OPEN, "/lnk"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "/lnk/c.txt"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "/fl"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_CREATE, "/fl"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_CREATE, "/dang"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_CREATE, "/lnk/new.txt"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "/lnk/nd"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "/lnk"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, "/lnk/c.txt"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, "/lnk/deep"), ERR_MISS_FILE);
  EXPECT_FALSE(fs::exists(outside / "gone.txt"));
  // A link that stays inside the stick behaves like its target.
  EXPECT_EQ(name_command(FILE_OPEN, "/in"), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(2), std::vector<uint8_t>({4, 5}));
  // Listings hide links that lead out and show the inside one with its target's size.
  std::vector<std::string> listed;
  uint8_t st = name_command(FILE_OPEN, "/*");
  for (int guard = 0; guard < 50 && st == USB_INT_DISK_READ; ++guard) {
    std::vector<uint8_t> e = read_result();
    listed.emplace_back(e.begin(), e.begin() + 11);
    if (listed.back() == "IN         ") {
      EXPECT_EQ(e[28], 2);
    }
    command(FILE_ENUM_GO);
    st = get_status();
  }
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"IN         ", "REAL    DAT"}));
  // Names differing in case reach the same links, refused alike; the root's parent is never
  // searched for a case-only match, though the exact name through it leads back inside.
  for (const char* name : {"/LNK/C.TXT", "/Lnk", "/FL", "/DANG", "/../../O/C.TXT", "/../USB/IN"}) {
    EXPECT_EQ(name_command(FILE_OPEN, name), ERR_MISS_FILE) << name;
  }
  EXPECT_EQ(name_command(FILE_OPEN, "/../usb/in"), USB_INT_SUCCESS);
  EXPECT_EQ(name_command(FILE_CREATE, "/LNK/NEW.TXT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "/LNK/ND"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, "/LNK/C.TXT"), ERR_MISS_FILE);
  // Erasing a link removes the link in the stick, never what it points at.
  EXPECT_EQ(name_command(FILE_ERASE, "/fl"), USB_INT_SUCCESS);
  EXPECT_FALSE(fs::is_symlink(usb / "fl"));
  EXPECT_TRUE(fs::exists(outside / "c.txt"));
}

TEST_F(Ch376Test, DirectoryRenamedAwayDuringAListing) {
  fs::create_directory(usb / "SUB");
  for (int i = 0; i < 6; ++i) write_host_file(usb / "SUB" / ("F" + std::to_string(i) + ".DAT"), {1});
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_OPEN, "/SUB"), ERR_OPEN_DIR);
  ASSERT_EQ(name_command(FILE_OPEN, "*"), USB_INT_DISK_READ);
  // The host moves the directory out of the stick while the program is listing it.
  fs::path moved = top / "moved";
  fs::rename(usb / "SUB", moved);
  TreeSnapshot moved_before = snapshot_tree(moved);
  command(FILE_ENUM_GO);
  EXPECT_EQ(get_status(), ERR_MISS_FILE) << "the listing ends instead of showing a directory outside";
  EXPECT_EQ(ch376->dir_enum, nullptr);
  // The current directory is gone from the stick: nothing resolves in it any more.
  EXPECT_EQ(name_command(FILE_OPEN, "F1.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_CREATE, "NEW.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_ERASE, "F2.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "D"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(FILE_OPEN, "*"), ERR_MISS_FILE);
  EXPECT_TRUE(snapshot_tree(moved) == moved_before);
  // A directory put back under the same name with other content is not the one being listed.
  fs::create_directory(usb / "SUB");
  write_host_file(usb / "SUB" / "X.DAT", {1});
  ASSERT_EQ(name_command(FILE_OPEN, "/SUB"), ERR_OPEN_DIR);
  ASSERT_EQ(name_command(FILE_OPEN, "*"), USB_INT_DISK_READ);
  fs::rename(usb / "SUB", top / "moved2");
  fs::create_directory(usb / "SUB");
  command(FILE_ENUM_GO);
  EXPECT_EQ(get_status(), ERR_MISS_FILE);
  fs::remove_all(moved);
  fs::remove_all(top / "moved2");
  // "/" brings the program back to the root.
  EXPECT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
}

TEST_F(Ch376Test, ErasedCurrentDirectoryAndRemovedStick) {
  fs::create_directory(usb / "E");
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
  ASSERT_EQ(name_command(FILE_OPEN, "E"), ERR_OPEN_DIR);
  command(FILE_ERASE);
  ASSERT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_FALSE(fs::exists(usb / "E"));
  EXPECT_EQ(ch376->current_dir, root() + "/E");
  // The current directory still names the removed directory: names in it fail, and do not
  // fall back to anywhere else.
  EXPECT_EQ(name_command(FILE_CREATE, "N.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "D"), ERR_MISS_FILE);
  EXPECT_FALSE(fs::exists(usb / "N.DAT"));
  // The stick's directory itself disappears while mounted.
  fs::rename(usb, prog / "gone");
  EXPECT_EQ(name_command(FILE_CREATE, "/N.DAT"), ERR_MISS_FILE);
  EXPECT_EQ(name_command(DIR_CREATE, "/D"), ERR_MISS_FILE);
  EXPECT_TRUE(fs::is_empty(prog / "gone"));
  command(DISK_QUERY);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
  fs::rename(prog / "gone", usb);
}
