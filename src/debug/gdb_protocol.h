// The GDB remote serial protocol for GDB's z80 target (GDB 11 and later): the packet layer
// (framing, checksums, acknowledgements, the out-of-band interrupt byte) and the commands, which
// act on the machine through the run control. No sockets here: the server hands in the bytes it
// received and sends what the session leaves in its output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The largest packet body taken from GDB, told to it as PacketSize so that it never sends more.
constexpr size_t GDB_PACKET_SIZE = 4096;
// GDB's z80 register file: 13 registers of 2 bytes, af bc de hl sp pc ix iy af' bc' de' hl' ir.
constexpr int GDB_REGISTER_COUNT = 13;

// Where the parser stands in the incoming byte stream.
enum class gdb_parse : uint8_t { between, body, checksum_high, checksum_low };

// What the connection is doing.
enum class gdb_link : uint8_t {
  attaching, // a client came; its packets wait until the machine has stopped for it
  stopped,   // the machine is stopped and GDB may send any command
  running,   // after c or s: the stop reply is owed when the machine stops
  detached,  // D: the machine runs on without the stub's stops; the connection ends
  killed,    // k: the connection ends; what happens to the run is the program's choice
};

// A breakpoint or watchpoint GDB set: its Z type (0..4), range, and the run control's id for it.
struct gdb_point {
  uint8_t type;
  uint16_t address;
  uint32_t length;
  int id;
};

// One connection's state. Fresh for every client (gdb_session_begin).
struct gdb_session {
  gdb_parse parse = gdb_parse::between;
  bool escaped = false;        // the last body byte was the escape 0x7D
  bool too_long = false;       // the body ran past GDB_PACKET_SIZE; it is answered E01
  uint8_t sum = 0;             // checksum of the body bytes as sent
  uint8_t sent_checksum = 0;   // the checksum GDB sent, as far as its digits came
  bool bad_digit = false;      // a checksum digit was not hex: the packet is refused
  bool no_ack = false;         // QStartNoAckMode was accepted: no '+' / '-' either way
  bool resumed = false;        // GDB has let the machine run at least once
  gdb_link link = gdb_link::attaching;
  std::string body;            // the packet being received, escapes undone
  std::string output;          // bytes for the server to send, in order
  std::string last_reply;      // the last packet sent, framed, sent again after a '-'
  std::vector<gdb_point> points;  // GDB's own points, removed when it goes
};

// Starts a session on a new connection and asks the machine to stop (GDB expects a stopped
// target); until it has, the server holds GDB's packets back.
void gdb_session_begin(gdb_session& session);
// Takes bytes as they came from the connection, in chunks of any size: packets are acknowledged
// and answered, 0x03 between packets asks the running machine to stop.
void gdb_receive(gdb_session& session, const uint8_t* data, size_t size);
// Looks at the run control: once the machine has stopped, an attaching link is ready, and a running
// one gets the stop reply it is owed.
void gdb_check_stop(gdb_session& session);
// The connection is going away (D, k or a closed socket): GDB's breakpoints and watchpoints are
// removed, and the machine runs on.
void gdb_session_end(gdb_session& session);

// The reply to one packet body (escapes undone), without framing; for c and s nothing, as the
// stop reply comes when the machine stops. Exposed for tests and the fuzzer.
std::string gdb_command(gdb_session& session, std::string_view packet);
// Frames a reply body as $body#cs, escaping the bytes the protocol reserves.
std::string gdb_frame(std::string_view body);
