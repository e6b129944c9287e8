// The CH376 command protocol, the device commands and the byte transfers, driven through the
// port functions as a Z80 program drives them.
#include <sys/statvfs.h>

#include <cstring>

#include "ch376/ch376_state.h"
#include "ch376_fixture.h"
#include "core/ports.h"

TEST_F(Ch376Test, CommandProtocolAndStatusCodes) {
  // Presence check: the data port answers the inverse of the test byte.
  command(CHECK_EXIST);
  data_out(0x55);
  EXPECT_EQ(data_in(), 0xAA);
  // While CHECK_EXIST is current, the next command byte is inverted into buffer[0] as well.
  command(GET_IC_VER);
  EXPECT_EQ(ch376->buffer[0], 0xFE);
  EXPECT_EQ(data_in(), 0x43);
  // Every command write clears the command-port status.
  EXPECT_EQ(ch376_read_command_port(), 0x00);
  // An unknown command aborts but leaves the previous command serving the data port.
  command(GET_STATUS);
  command(0x05);
  EXPECT_EQ(data_in(), CMD_RET_ABORT);
  command(0x41);  // above the last known code
  EXPECT_EQ(ch376->command, GET_STATUS);
  EXPECT_EQ(data_in(), CMD_RET_ABORT);
  // Mode: 6 and 3 are accepted, anything else becomes mode 0.
  command(SET_USB_MODE);
  data_out(6);
  EXPECT_EQ(data_in(), CMD_RET_SUCCESS);
  data_out(5);
  EXPECT_EQ(ch376->usb_mode, 0);
  EXPECT_EQ(data_in(), CMD_RET_ABORT);
  // A command with no data in ignores data writes and reads back buffer[0].
  command(CHECK_EXIST);
  data_out(0x0F);
  command(DISK_QUERY);  // CHECK_EXIST still current: buffer[0] = ~0x3F; not mounted: aborts
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
  command(0x0D);
  data_out(0x99);
  EXPECT_EQ(data_in(), 0xC0);
}

TEST_F(Ch376Test, PortsReadFFWhileTheExpansionIsOff) {
  ch376_destroy();
  EXPECT_EQ(ch376, nullptr);
  EXPECT_EQ(ch376_read_command_port(), 0xFF);
  EXPECT_EQ(ch376_read_data_port(), 0xFF);
  ch376_write_command_port(CHECK_EXIST);  // ignored, must not crash
  ch376_write_data_port(0x12);
  EXPECT_EQ(ReadPort(0x41), 0xFF);
  EXPECT_EQ(ReadPort(0x1240), 0xFF);
}

TEST_F(Ch376Test, MountIdentificationAndModes) {
  // Mode 0 right after creation: nothing to mount.
  command(DISK_MOUNT);
  EXPECT_EQ(get_status(), USB_INT_DISK_ERR);
  EXPECT_EQ(ch376_read_command_port(), 0x00);
  // Mode 6 with the usb directory present.
  EXPECT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_NE(ch376->root_path, nullptr);
  EXPECT_EQ(*ch376->root_path, root());
  EXPECT_TRUE(ch376->current_dir.empty()) << "mounting does not move the current directory";
  std::vector<uint8_t> expected(8, 0);
  for (char c : std::string("VANTOREL") + "MICRO EXPANDER  " + "0133") expected.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(read_result(), expected);
  // All consumed: the next RD_USB_DATA0 has length 0.
  EXPECT_TRUE(read_result().empty());
  // Leaving mode 6 unmounts, as on the chip, and the device's state then loads back. Mode 3
  // (SD card) never mounts: no second directory is served.
  microex_saved_memtop = 0x3FFF;  // as switching the expansion on records it
  for (const uint8_t mode : {0, 3}) {
    ASSERT_EQ(mount(), USB_INT_SUCCESS);
    command(SET_USB_MODE);
    data_out(mode);
    EXPECT_EQ(state_refusal(), "") << int{mode};
    command(DISK_MOUNT);
    EXPECT_EQ(get_status(), USB_INT_DISK_ERR);
    EXPECT_EQ(name_command(FILE_OPEN, "/"), CMD_RET_ABORT);
  }
  // The usb directory missing: 0x1F.
  fs::remove_all(usb);
  EXPECT_EQ(mount(), USB_INT_DISK_ERR);
}

TEST_F(Ch376Test, CapacityAndQueryInSectors) {
  command(DISK_CAPACITY);
  EXPECT_EQ(get_status(), CMD_RET_ABORT) << "no disk mounted";
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  struct statvfs fs_info;
  ASSERT_EQ(statvfs(usb.c_str(), &fs_info), 0);
  auto le32 = [](const std::vector<uint8_t>& v, size_t at) {
    return static_cast<uint32_t>(v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24);
  };
  uint64_t block = fs_info.f_frsize;
  command(DISK_QUERY);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  std::vector<uint8_t> q = read_result();
  ASSERT_EQ(q.size(), 9u);
  EXPECT_EQ(le32(q, 0), static_cast<uint32_t>(fs_info.f_blocks * (block / 512)));
  // Other developers write to this file system at the same time: free space may move a little.
  int64_t free_expected = static_cast<int64_t>(fs_info.f_bfree * (block / 512));
  EXPECT_NEAR(static_cast<double>(le32(q, 4)), static_cast<double>(free_expected), 2e6);
  EXPECT_EQ(q[8], 0x0C);
  command(DISK_CAPACITY);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  std::vector<uint8_t> c = read_result();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(le32(c, 0), le32(q, 0));
}

TEST_F(Ch376Test, ChunkedReads) {
  std::vector<uint8_t> six_hundred = sample_bytes(600);
  write_host_file(usb / "BIG.DAT", six_hundred);
  write_host_file(usb / "SMALL.DAT", sample_bytes(100, 7));
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_OPEN, "/BIG.DAT"), USB_INT_SUCCESS);
  std::vector<int> chunks;
  EXPECT_EQ(byte_read(600, &chunks), six_hundred);
  EXPECT_EQ(chunks, (std::vector<int>{255, 255, 90}));
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_TRUE(read_result().empty());
  // A short file: one chunk, then the end; the count not delivered stays outstanding.
  ASSERT_EQ(name_command(FILE_OPEN, "SMALL.DAT"), USB_INT_SUCCESS);
  chunks.clear();
  EXPECT_EQ(byte_read(600, &chunks), sample_bytes(100, 7));
  EXPECT_EQ(chunks, (std::vector<int>{100}));
  EXPECT_EQ(ch376->remaining, 500);
  // Reading with no file open aborts.
  command(FILE_CLOSE);
  data_out(0);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  command(FILE_CLOSE);
  data_out(0);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
  command(BYTE_READ);
  data_out(10);
  data_out(0);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
}

TEST_F(Ch376Test, ChunkedWritesAndTheRequestProtocol) {
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_CREATE, "/OUT.DAT"), USB_INT_SUCCESS);
  std::vector<uint8_t> three_hundred = sample_bytes(300, 3);
  std::vector<int> requests;
  EXPECT_EQ(byte_write(three_hundred, &requests), USB_INT_SUCCESS);
  EXPECT_EQ(requests, (std::vector<int>{255, 45}));
  EXPECT_EQ(read_host_file(usb / "OUT.DAT"), three_hundred);
  // Read back through the same handle after seeking to the start.
  command(BYTE_LOCATE);
  for (int i = 0; i < 4; ++i) data_out(0);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_EQ(byte_read(300), three_hundred);
  // A data write before the length byte was read is a protocol error.
  command(BYTE_WRITE);
  data_out(2);
  data_out(0);
  EXPECT_EQ(get_status(), USB_INT_DISK_WRITE);
  command(WR_REQ_DATA);
  data_out(0x11);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
  // A BYTE_WR_GO with no transfer running writes nothing, even with a result in the buffer.
  command(BYTE_LOCATE);
  for (int i = 0; i < 4; ++i) data_out(0);
  ch376->remaining = 0;
  command(BYTE_WR_GO);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  command(FILE_CLOSE);
  data_out(0);
  EXPECT_EQ(read_host_file(usb / "OUT.DAT"), three_hundred);
}

TEST_F(Ch376Test, SeekAndFileSize) {
  std::vector<uint8_t> bytes = sample_bytes(600, 5);
  write_host_file(usb / "S.DAT", bytes);
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  // No file open: the size is FF FF FF FF, and a wrong parameter aborts.
  command(GET_FILE_SIZE);
  data_out(0x68);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  command(GET_FILE_SIZE);
  EXPECT_EQ(std::vector<uint8_t>({data_in(), data_in(), data_in(), data_in()}), std::vector<uint8_t>(4, 0xFF));
  data_out(0x00);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
  ASSERT_EQ(name_command(FILE_OPEN, "/S.DAT"), USB_INT_SUCCESS);
  command(GET_FILE_SIZE);
  data_out(0x68);
  EXPECT_EQ(std::vector<uint8_t>({data_in(), data_in(), data_in(), data_in()}), std::vector<uint8_t>({0x58, 0x02, 0, 0}));
  EXPECT_EQ(data_in(), 0x00) << "the size has been consumed";
  // Seek to 0x123 (little-endian): the position comes back, and reading continues there.
  command(BYTE_LOCATE);
  for (uint8_t b : {0x23, 0x01, 0x00, 0x00}) data_out(b);
  EXPECT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_EQ(read_result(), std::vector<uint8_t>({0x23, 0x01, 0, 0}));
  EXPECT_EQ(byte_read(4), std::vector<uint8_t>(bytes.begin() + 0x123, bytes.begin() + 0x127));
  // Beyond the end the position stops at the end, as on the CH376 (FF FF FF FF is how
  // programs append): nothing is read there, and a write extends the file by itself alone.
  for (const std::vector<uint8_t>& beyond : {std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF},
                                             std::vector<uint8_t>{0xE8, 0x03, 0x00, 0x00},
                                             std::vector<uint8_t>{0xF0, 0xFF, 0xFF, 0x7F}}) {
    const uint32_t size = static_cast<uint32_t>(fs::file_size(usb / "S.DAT"));
    command(BYTE_LOCATE);
    for (uint8_t b : beyond) data_out(b);
    EXPECT_EQ(get_status(), USB_INT_SUCCESS);
    EXPECT_EQ(read_result(), std::vector<uint8_t>({static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), 0, 0}));
    EXPECT_TRUE(byte_read(2).empty());
    EXPECT_EQ(byte_write({1, 2, 3, 4, 5}), USB_INT_SUCCESS);
    EXPECT_EQ(fs::file_size(usb / "S.DAT"), size + 5u);
  }
  // A host file of 4 GiB and more (sparse): the size shows its low 32 bits, and every 32-bit
  // offset lies inside it.
  std::error_code ec;
  fs::resize_file(usb / "S.DAT", (uint64_t{1} << 32) + 0x1234, ec);
  if (!ec) {
    command(GET_FILE_SIZE);
    data_out(0x68);
    EXPECT_EQ(std::vector<uint8_t>({data_in(), data_in(), data_in(), data_in()}), std::vector<uint8_t>({0x34, 0x12, 0, 0}));
    command(BYTE_LOCATE);
    for (uint8_t b : {0x00, 0x00, 0x00, 0x80}) data_out(b);
    EXPECT_EQ(get_status(), USB_INT_SUCCESS);
    EXPECT_EQ(read_result(), std::vector<uint8_t>({0x00, 0x00, 0x00, 0x80}));
    fs::resize_file(usb / "S.DAT", 0, ec);
  }
  // Without an open file seeking aborts.
  command(FILE_CLOSE);
  data_out(0);
  command(BYTE_LOCATE);
  for (int i = 0; i < 4; ++i) data_out(0);
  EXPECT_EQ(get_status(), CMD_RET_ABORT);
}

TEST_F(Ch376Test, ResultBufferIsNeverReadOutOfRange) {
  // GET_FILE_SIZE's reads follow whatever data_index the last command left (here 0xFF from
  // RD_USB_DATA0, with a 36-byte identification block waiting): no read beyond the buffer.
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  command(RD_USB_DATA0);
  command(GET_FILE_SIZE);
  EXPECT_EQ(ch376->data_index, 0xFF);
  EXPECT_EQ(data_in(), 0xFF);
  // A name taken from a buffer with no NUL in it (a full 255-byte read chunk).
  std::memset(ch376->buffer, 'A', sizeof ch376->buffer);
  command(FILE_OPEN);
  EXPECT_EQ(get_status(), ERR_MISS_FILE);
}

// The device read back from its state section goes on as the running one would have: the
// listing after the entry last read, the open file from its position, names in the directory
// the program entered. A state whose open file has gone is refused, naming it.
TEST_F(Ch376Test, StateGoesOnWithTheListingTheOpenFileAndTheDirectory) {
  fs::create_directory(usb / "SUB");
  for (const char* name : {"A.DAT", "B.DAT", "C.DAT", "D.DAT"}) write_host_file(usb / "SUB" / name, {1});
  const std::vector<uint8_t> big = sample_bytes(600);
  write_host_file(usb / "SUB" / "BIG.DAT", big);
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_OPEN, "SUB"), ERR_OPEN_DIR);
  ASSERT_EQ(name_command(FILE_OPEN, "BIG.DAT"), USB_INT_SUCCESS);
  ASSERT_EQ(byte_read(300), std::vector<uint8_t>(big.begin(), big.begin() + 300));
  ASSERT_EQ(name_command(FILE_OPEN, "*"), USB_INT_DISK_READ);
  read_result();
  command(FILE_ENUM_GO);  // the second entry waits in the buffer, unread
  microex_saved_memtop = 0x3FFF;  // as switching the expansion on records it
  StateWriter w;
  ch376_write_state(w);
  const auto go_on = [&] {
    std::vector<std::vector<uint8_t>> seen;
    for (int guard = 0; guard < 20 && get_status() == USB_INT_DISK_READ; ++guard) {
      seen.push_back(read_result());
      command(FILE_ENUM_GO);
    }
    seen.push_back(byte_read(400));
    seen.push_back({name_command(FILE_OPEN, "A.DAT")});
    return seen;
  };
  const auto expected = go_on();
  ASSERT_EQ(expected.size(), 8u) << "six entries of seven (with . and ..), the rest of the file, A.DAT";
  EXPECT_EQ(expected[6], std::vector<uint8_t>(big.begin() + 300, big.end()));
  EXPECT_EQ(expected[7], std::vector<uint8_t>{USB_INT_SUCCESS});

  StateReader r(w.bytes.data(), w.bytes.size());
  Ch376Saved saved;
  ASSERT_TRUE(ch376_read_state(r, saved));
  EXPECT_TRUE(r.at_end());
  std::string message;
  CH376* rebuilt = ch376_rebuild(saved, message);
  ASSERT_NE(rebuilt, nullptr) << message;
  ch376_install(rebuilt, saved);
  EXPECT_EQ(go_on(), expected);
  per_MicroEx = false;
  fs::remove(usb / "SUB" / "BIG.DAT");
  EXPECT_EQ(ch376_rebuild(saved, message), nullptr);
  EXPECT_EQ(message, "the file usb/SUB/BIG.DAT, open in the save state, is gone");
  // A name is shown as text whatever bytes the state holds.
  saved.file = "SUB/\x1B[2J\n\xC3.\\";
  EXPECT_EQ(ch376_rebuild(saved, message), nullptr);
  EXPECT_EQ(message, "the file usb/SUB/\\x1B[2J\\x0A\\xC3.\\\\, open in the save state, is gone");
  // The program erases its current directory, which stays current: that state loads back too.
  fs::create_directory(usb / "GONE");
  ASSERT_EQ(name_command(FILE_OPEN, "/"), ERR_OPEN_DIR);
  ASSERT_EQ(name_command(FILE_OPEN, "GONE"), ERR_OPEN_DIR);
  command(FILE_ERASE);
  ASSERT_EQ(get_status(), USB_INT_SUCCESS);
  EXPECT_EQ(state_refusal(), "");
}
