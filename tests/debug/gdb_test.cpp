// The GDB stub: the packet layer and commands in-process on the free ROMs' machine, then whole
// sessions over a socket against vantorel-headless --gdb, with a client of a few lines.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "core/memory.h"
#include "core/roms.h"
#include "core/scratch_dir.h"
#include "debug/gdb_protocol.h"
#include "headless_run.h"
#include "z80/z80.h"

namespace {

// The framing, worked out here rather than taken from the stub.
std::string framed(const std::string& body) {
  unsigned sum = 0;
  for (unsigned char c : body) sum += c;
  char tail[4];
  std::snprintf(tail, sizeof tail, "#%02x", sum & 0xFF);
  return "$" + body + tail;
}

class GdbPackets : public ::testing::Test {
 protected:
  void SetUp() override {
    Initialise_Emulator();  // the free ROMs; no expansion, so RAM ends at 0x3FFF
    memtop = 0x3FFF;
    gdb_session_begin(session);
    session.link = gdb_link::stopped;
  }
  std::string ask(const std::string& body) { return gdb_command(session, body); }
  std::string feed(const std::string& bytes, size_t chunk = 1 << 20) {
    session.output.clear();
    for (size_t at = 0; at < bytes.size(); at += chunk)
      gdb_receive(session, reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(chunk, bytes.size() - at));
    return session.output;
  }
  gdb_session session;
};

TEST_F(GdbPackets, FramingAcknowledgementsAndChunks) {
  z80.pc = 0x1234;
  // A packet cut into single bytes, with line noise and GDB's acks before it.
  EXPECT_EQ(feed("+x+" + framed("p5"), 1), "+" + framed("3412"));
  EXPECT_EQ(feed("$p5#00"), "-") << "a wrong checksum is refused";
  EXPECT_EQ(feed("$p5#z7"), "-") << "a checksum digit that is not hex";
  EXPECT_EQ(feed("-"), framed("3412")) << "a '-' gets the last reply again";
  EXPECT_EQ(feed(framed(std::string(GDB_PACKET_SIZE + 1, 'm'))), "+" + framed("E01"));
  EXPECT_EQ(feed(framed("QStartNoAckMode")), "+" + framed("OK"));
  EXPECT_EQ(feed(framed("p5") + "$p5#00"), framed("3412")) << "no acks in no-ack mode";
  // Binary data: '}' escapes the next byte (exclusive-or 0x20); the checksum covers the bytes as sent.
  EXPECT_EQ(feed(framed("X3800,5:}]}\x03}\x04}\x0a" "A"), 3), framed("OK"));
  EXPECT_EQ(ask("m3800,5"), "7d23242a41");
  EXPECT_EQ(gdb_frame("a#}"), framed("a}\x03}]")) << "replies escape the same bytes";
}

TEST_F(GdbPackets, RegistersInGdbsOrderAndMemoryAsTheCpuSeesIt) {
  z80.af.w = 0x1122, z80.bc.w = 0x3344, z80.de.w = 0x5566, z80.hl.w = 0x7788;
  z80.sp = 0x99AA, z80.pc = 0xBBCC, z80.ix.w = 0xDDEE, z80.iy.w = 0xFF01;
  z80.af_alt.w = 0x0203, z80.bc_alt.w = 0x0405, z80.de_alt.w = 0x0607, z80.hl_alt.w = 0x0809;
  z80.i = 0x3F, z80.r = 0x05, z80.r7 = 0x80;  // R reads with the bit 7 LD R,A left
  const std::string g = "2211443366558877aa99ccbbeedd01ff0302050407060908";
  EXPECT_EQ(ask("g"), g + "853f");
  EXPECT_EQ(ask("pc"), "853f");
  EXPECT_EQ(ask("G" + g + "fe12"), "OK");
  EXPECT_EQ(z80.sp, 0x99AA);
  EXPECT_EQ(z80.i, 0x12);
  EXPECT_EQ((z80.r7 & 0x80) | (z80.r & 0x7F), 0xFE);
  EXPECT_EQ(ask("P3=3412"), "OK");
  EXPECT_EQ(z80.hl.w, 0x1234);

  char rom[5];
  std::snprintf(rom, sizeof rom, "%02x%02x", AQUA_ROM[0x1FFE], AQUA_ROM[0x1FFF]);
  EXPECT_EQ(ask("m1ffe,2"), rom);
  EXPECT_EQ(ask("m4000,2"), "0000") << "absent memory reads 0";
  EXPECT_EQ(ask("mfffe,10"), "0000") << "a read stops at the top of memory";
  // Writes go where the CPU's go: a range touching ROM or absent memory is refused whole.
  EXPECT_EQ(ask("M2000,1:11"), "OK");
  EXPECT_EQ(ask("M3fff,1:22"), "OK");
  EXPECT_EQ(ask("M1fff,2:5555"), "E03");
  EXPECT_EQ(ask("M3fff,2:5555"), "E03");
  EXPECT_EQ(ask("m1ffe,3"), rom + std::string("11"));
  EXPECT_EQ(ask("m3fff,1"), "22");
}

TEST_F(GdbPackets, MalformedAndUnknownPacketsAreAnsweredNotActedOn) {
  z80.pc = 0x0100;
  const struct { const char* packet; const char* reply; } cases[] = {
      {"g1", "E01"}, {"G12", "E01"}, {"p", "E01"}, {"pd", "E01"}, {"P5", "E01"}, {"P5=zz00", "E01"},
      {"m", "E01"}, {"m10000,1", "E01"}, {"mx,1", "E01"}, {"m0,", "E01"}, {"m123456789,1", "E01"},
      {"M3900,2:00", "E01"}, {"M3900:00", "E01"}, {"Mffff,2:0000", "E01"}, {"X3900,4:ab", "E01"},
      {"Z0", "E01"}, {"Z0,10000,1", "E01"}, {"Z2,3900,0", "E01"}, {"Z2,ffff,2", "E01"}, {"Z9,0,1", ""},
      {"Z0,100,1;X2,ab", "OK"}, {"z0,100,1", "OK"}, {"Z0,100,1x", "E01"}, {"cxyz", "E01"},
      {"s10000", "E01"}, {"C5;zz", "E01"}, {"vCont?", ""}, {"!", ""}, {"\x7f", ""}, {"qAttached", "1"},
      {"Hg0", "OK"}, {"qSupported:swbreak+", "PacketSize=1000;QStartNoAckMode+;swbreak+;hwbreak+"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ask(c.packet), c.reply) << c.packet;
    EXPECT_EQ(session.link, gdb_link::stopped) << c.packet;
  }
  EXPECT_EQ(z80.pc, 0x0100);
}

// vantorel-headless started in the background with --gdb 0, and a client for it: packets out,
// replies back (acknowledged), with a time limit on every wait so that a silent stub fails.
struct HeadlessGdb {
  explicit HeadlessGdb(std::vector<std::string> args) : pid(start_headless_in(dir.path, std::move(args))) {
    for (int tries = 0; tries < 200 && port == 0; ++tries) {
      const size_t at = dir.read_text(".stderr").find("127.0.0.1:");
      if (at != std::string::npos) port = std::stoi(dir.read_text(".stderr").substr(at + 10));
      else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    fd = connect_to(port);
  }
  ~HeadlessGdb() {
    if (fd >= 0) close(fd);
    if (pid > 0) kill(pid, SIGKILL), finish_headless(pid, dir.path);
  }
  static int connect_to(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0), one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // as GDB does: no ack waits behind a packet
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (port > 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
    close(s);
    return -1;
  }
  void send_raw(const std::string& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // The next reply body ('+' passed over), "<timeout>" after wait_ms, "<closed>" when the stub hung up.
  std::string reply(int wait_ms = 10000) {
    std::string got;
    for (size_t start, hash; ;) {
      if ((start = got.find('$')) != std::string::npos && (hash = got.find('#', start)) != std::string::npos &&
          got.size() >= hash + 3) {
        send_raw("+");
        return got.substr(start + 1, hash - start - 1);
      }
      pollfd p{fd, POLLIN, 0};
      char buffer[4096];
      if (poll(&p, 1, wait_ms) <= 0) return "<timeout>";
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return "<closed>";
      got.append(buffer, static_cast<size_t>(n));
    }
  }
  std::string ask(const std::string& body) {
    send_raw(framed(body));
    return reply();
  }
  RunResult finish() { return finish_headless(std::exchange(pid, -1), dir.path); }
  ScratchDir dir;
  pid_t pid;
  int port = 0, fd = -1;
};

// A small program in RAM run under GDB's control, then ROM breakpoints, then a detach: the run
// goes on with the next actions, and the ROM's cold start clears what was written on the screen.
TEST(GdbStub, SessionStepsWatchesBreaksAndDetaches) {
  HeadlessGdb run({"--gdb", "0", "--frames", "20", "--dump", "3140:3"});
  ASSERT_GE(run.fd, 0) << run.dir.read_text(".stderr");
  EXPECT_NE(run.ask("qSupported:swbreak+").find("PacketSize="), std::string::npos);
  EXPECT_EQ(run.ask("?"), "T05");
  // 3900 ld hl,1234h / 3903 ld a,56h / 3905 ld (3980h),a / 3908 jr $ / 390A jp 0
  EXPECT_EQ(run.ask("M3900,d:2134123e56328039" "18fec30000"), "OK");
  EXPECT_EQ(run.ask("P5=0039"), "OK");
  EXPECT_EQ(run.ask("s"), "T05");
  EXPECT_EQ(run.ask("p5"), "0339");
  EXPECT_EQ(run.ask("p3"), "3412");
  EXPECT_EQ(run.ask("Z2,3980,1"), "OK");
  EXPECT_EQ(run.ask("c"), "T05watch:3980;") << "stopped after the write";
  EXPECT_EQ(run.ask("p5"), "0839");
  EXPECT_EQ(run.ask("m3980,1"), "56");
  EXPECT_EQ(run.ask("z2,3980,1"), "OK");
  run.send_raw(framed("c"));
  EXPECT_EQ(run.reply(300), "<timeout>") << "jr $ runs until interrupted";
  run.send_raw("\x03");
  EXPECT_EQ(run.reply(), "T02");
  EXPECT_EQ(run.ask("p5"), "0839");
  // Breakpoints in ROM: the reset vector, and the jump after the stack is set.
  EXPECT_EQ(run.ask("Z0,0,8"), "OK");
  EXPECT_EQ(run.ask("Z1,4,1"), "OK");
  EXPECT_EQ(run.ask("P5=0a39"), "OK");
  EXPECT_EQ(run.ask("c"), "T05swbreak:;");
  EXPECT_EQ(run.ask("p5"), "0000");
  EXPECT_EQ(run.ask("c"), "T05hwbreak:;");
  EXPECT_EQ(run.ask("p5"), "0400");
  EXPECT_EQ(run.ask("p4"), "0034");
  EXPECT_EQ(run.ask("m0,1"), "f3") << "the breakpoint was not written into the ROM";
  // Another debugger is turned away while this one is connected.
  const int second = HeadlessGdb::connect_to(run.port);
  char byte;
  EXPECT_EQ(recv(second, &byte, 1, 0), 0);
  close(second);
  EXPECT_EQ(run.ask("M3140,3:58595a"), "OK");
  EXPECT_EQ(run.ask("D"), "OK");
  EXPECT_EQ(run.reply(), "<closed>");
  const RunResult end = run.finish();
  EXPECT_EQ(end.status, 0) << end.err;
  EXPECT_EQ(end.out, "20 20 20\n");
}

// GDB arriving at a machine already stopped (by --until) finds it there, and it runs when GDB
// lets it. k ends the connection and the run (the actions after it are not carried out); a port
// already in use is said and ends the run with status 1.
TEST(GdbStub, KillEndsTheRunAndABusyPortIsRefused) {
  HeadlessGdb killed({"--until", "4", "--gdb", "0", "--screen-text"});
  ASSERT_GE(killed.fd, 0) << killed.dir.read_text(".stderr");
  EXPECT_EQ(killed.ask("p5"), "0400");
  killed.send_raw(framed("c"));
  EXPECT_EQ(killed.reply(300), "<timeout>");
  killed.send_raw("\x03");
  EXPECT_EQ(killed.reply(), "T02");
  killed.send_raw(framed("k"));
  EXPECT_EQ(killed.reply(), "<closed>");
  const RunResult end = killed.finish();
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.out, "");

  const int taken = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof a;
  ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a) | listen(taken, 1), 0);
  getsockname(taken, reinterpret_cast<sockaddr*>(&a), &size);
  const std::string port = std::to_string(ntohs(a.sin_port));
  const RunResult busy = run_headless_in(killed.dir.path, {"--gdb", port, "--screen-text"});
  close(taken);
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.err.find("cannot listen for GDB on 127.0.0.1:" + port), std::string::npos) << busy.err;
  EXPECT_EQ(busy.out, "");
}

}  // namespace
