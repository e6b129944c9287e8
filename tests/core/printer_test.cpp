// The printer on port 0xFE: the serial line read from the T-states of the CPU's writes, the
// ready line, the paper, and a line in progress carried through a save state.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>

#include "core/ports.h"
#include "core/printer.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "scratch_dir.h"

namespace {

// The machine's clock at absolute T-state `when` (frames end on the way), as at an OUT or IN.
void clock_to(uint64_t when) {
  while (when >= printer_clock + frame_length) {
    t_state = frame_length;
    printer_frame_end(frame_length);
  }
  t_state = static_cast<uint32_t>(when - printer_clock);
}

// A sender on the port, its bit `bit` T-states long, each level it writes `jitter` T-states late
// and early in turn; two bits of idle line between bytes.
struct Sender {
  double bit = 2900;
  int jitter = 0;
  uint64_t at = 1000;
  int writes = 0;
  // Bits first to last - 1 of the byte's frame (start, eight data bits from bit 0, stop).
  void byte(uint8_t value, bool stop = true, int first = 0, int last = 10) {
    for (int k = first; k < last; ++k) {
      const int level = k == 0 ? 0 : k == 9 ? stop : value >> (k - 1) & 1;
      clock_to(at + std::llround(k * bit) + (++writes % 2 ? jitter : -jitter));
      WritePort(0xFE, static_cast<uint8_t>(0xFE | level));
    }
    if (last == 10) at += std::llround(12 * bit);
  }
  // Then time passes on an idle line: what is due is printed.
  void text(const std::string& bytes) {
    for (const char c : bytes) byte(static_cast<uint8_t>(c));
    clock_to(at);
    WritePort(0xFE, 0xFF);
  }
};

// The codes on line i of the roll, as printed.
std::string paper_line(uint32_t i) {
  const uint32_t line = (printer_oldest + i) % PRINTER_MAX_LINES;
  return std::string(reinterpret_cast<const char*>(printer_paper[line]), printer_line_length[line]);
}

class Printer : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string saved_cwd = std::filesystem::current_path().string();
  void SetUp() override {
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    Initialise_Emulator();  // the free ROMs, whose character ROM the text is read with
  }
  void TearDown() override {
    printer_restore(PrinterSaved{});
    (void)chdir(saved_cwd.c_str());
  }
};

TEST_F(Printer, ReadsSendersUpTo15PercentOffAndDropsBadFrames) {
  const struct { double factor; int jitter; } senders[] = {
      {1.0, 0}, {0.85, 0}, {1.15, 0}, {0.92, 0}, {1.08, 0}, {1.0, 60}, {0.85, 30}, {1.15, 30}};
  // As LPRINT and COPY do, a line starts with CR LF; every bit pattern follows.
  const std::string sent = std::string("HELLO \0\x01\x7F\x80\xFE\xFF\x55\xAA", 14);
  for (const auto& s : senders) {
    SCOPED_TRACE(std::to_string(s.factor) + " jitter " + std::to_string(s.jitter));
    printer_restore(PrinterSaved{});
    Sender sender{2900 * s.factor, s.jitter};
    sender.text("\r\n" + sent + "\r\n");
    EXPECT_EQ(printer_lines, 3u);
    EXPECT_EQ(paper_line(1), sent);
  }

  // A frame whose stop bit is low is dropped, and so is a dip shorter than half a bit; the
  // bytes after them arrive. The ready line is low while a byte comes in.
  printer_restore(PrinterSaved{});
  Sender sender;
  sender.byte('X', false);
  sender.text("");  // the line goes high again
  clock_to(sender.at + 10000);
  WritePort(0xFE, 0xFE);
  clock_to(sender.at + 11200);
  WritePort(0xFE, 0xFF);
  sender.at += 20000;
  sender.byte('O', true, 0, 5);
  clock_to(sender.at + 5 * 2900);
  EXPECT_EQ(ReadPort(0xFE), 0xFE);
  sender.byte('O', true, 5);
  clock_to(sender.at);
  EXPECT_EQ(ReadPort(0xFE), 0xFF);
  sender.text("K");
  EXPECT_EQ(paper_line(0), "OK");
}

TEST_F(Printer, PaperWrapsAt40KeepsTheLastLinesAndSavesText) {
  const struct { std::string sent, text; } cases[] = {
      {std::string(41, 'A'), std::string(40, 'A') + "\nA\n"},
      {"AB\rC", "CB\n"},
      {"AB\nC\r\n\n", "AB\n  C\n\n"},
      // Our character ROM: 0x01 is a line across the middle, 0x7F a solid block, 0x80 blank.
      {"X\x01\x7F\x80Y   ", "X-. Y\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    printer_restore(PrinterSaved{});
    Sender{}.text(c.sent);
    EXPECT_EQ(printer_text(), c.text) << c.sent;
  }
  printer_restore(PrinterSaved{});
  Sender sender;
  for (uint32_t n = 0; n < PRINTER_MAX_LINES + 5; ++n) sender.text(std::to_string(n % 10) + "\r\n");
  EXPECT_EQ(printer_lines, PRINTER_MAX_LINES);
  EXPECT_EQ(paper_line(0), "6") << "the oldest lines went";
  EXPECT_EQ(printer_picture_height(), 2 * PRINTER_MARGIN + (PRINTER_MAX_LINES - 1) * PRINTER_LINE_ROWS);
  printer_tear_off();
  EXPECT_EQ(printer_text(), "");
}

TEST_F(Printer, LineInProgressGoesOnFromASaveState) {
  Sender sender;
  sender.text("HALF A LI");
  sender.byte('N', true, 0, 6);
  const std::vector<uint8_t> state = encode_state();
  const Sender at_save = sender;
  const auto rest = [](Sender s) {
    s.byte('N', true, 6);
    s.text("E\r\n");
  };
  rest(sender);
  ASSERT_EQ(printer_text(), "HALF A LINE\n");
  printer_tear_off();
  std::string message;
  ASSERT_EQ(decode_state(state.data(), state.size(), false, message), state_result::ok) << message;
  EXPECT_EQ(printer_text(), "HALF A LI\n");
  rest(at_save);
  EXPECT_EQ(printer_text(), "HALF A LINE\n");
}

}  // namespace
