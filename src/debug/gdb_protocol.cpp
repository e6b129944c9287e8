// The GDB remote serial protocol: packets and the commands of GDB's z80 target.
#include "debug/gdb_protocol.h"

#include <algorithm>
#include <cstdio>

#include "core/memory.h"
#include "debug/run_control.h"
#include "z80/z80.h"

namespace {

constexpr uint8_t ESCAPE = 0x7D;     // the byte after it is sent exclusive-or 0x20
constexpr uint8_t INTERRUPT = 0x03;  // Ctrl-C, sent outside any packet
constexpr const char* ERROR_MALFORMED = "E01";
constexpr const char* ERROR_NO_ROOM = "E02";   // no free breakpoint or watchpoint
constexpr const char* ERROR_READ_ONLY = "E03";  // a write that reaches ROM or absent memory

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char HEX[] = "0123456789abcdef";

void put_byte(std::string& out, uint8_t b) {
  out += HEX[b >> 4];
  out += HEX[b & 15];
}

// Register values go little-endian, as the target's memory holds them.
void put_word(std::string& out, uint16_t w) {
  put_byte(out, static_cast<uint8_t>(w));
  put_byte(out, static_cast<uint8_t>(w >> 8));
}

// Reads the hex number at the front of text into value and drops it; false when there is none
// or it does not fit in 32 bits.
bool take_number(std::string_view& text, uint32_t& value) {
  size_t n = 0;
  uint64_t v = 0;
  while (n < text.size() && hex_digit(text[n]) >= 0) {
    v = v * 16 + static_cast<uint64_t>(hex_digit(text[n]));
    if (v > 0xFFFFFFFFu) return false;
    ++n;
  }
  if (n == 0) return false;
  value = static_cast<uint32_t>(v);
  text.remove_prefix(n);
  return true;
}

bool take_char(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// "ADDR,LEN" followed by sep (or the end when sep is 0).
bool take_range(std::string_view& text, uint32_t& address, uint32_t& length, char sep) {
  return take_number(text, address) && take_char(text, ',') && take_number(text, length) &&
         (sep == 0 ? text.empty() : take_char(text, sep));
}

// Two hex digits per byte, exactly count bytes.
bool decode_hex(std::string_view text, uint8_t* bytes, size_t count) {
  if (text.size() != 2 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    const int hi = hex_digit(text[2 * i]), lo = hex_digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return true;
}

// The registers in GDB's z80 order. IR is I high and R low; R's bit 7 is the one LD R,A left.
uint16_t register_value(int index) {
  switch (index) {
    case 0: return z80.af.w;
    case 1: return z80.bc.w;
    case 2: return z80.de.w;
    case 3: return z80.hl.w;
    case 4: return z80.sp;
    case 5: return z80.pc;
    case 6: return z80.ix.w;
    case 7: return z80.iy.w;
    case 8: return z80.af_alt.w;
    case 9: return z80.bc_alt.w;
    case 10: return z80.de_alt.w;
    case 11: return z80.hl_alt.w;
    default: return static_cast<uint16_t>(z80.i << 8 | (z80.r7 & 0x80) | (z80.r & 0x7F));
  }
}

void set_register(int index, uint16_t value) {
  switch (index) {
    case 0: z80.af.w = value; break;
    case 1: z80.bc.w = value; break;
    case 2: z80.de.w = value; break;
    case 3: z80.hl.w = value; break;
    case 4: z80.sp = value; break;
    case 5: z80.pc = value; break;
    case 6: z80.ix.w = value; break;
    case 7: z80.iy.w = value; break;
    case 8: z80.af_alt.w = value; break;
    case 9: z80.bc_alt.w = value; break;
    case 10: z80.de_alt.w = value; break;
    case 11: z80.hl_alt.w = value; break;
    default:
      z80.i = static_cast<uint8_t>(value >> 8);
      // As LD R,A does: all of R, bit 7 kept apart from the counting bits.
      z80.r = z80.r7 = static_cast<uint8_t>(value);
      break;
  }
}

std::string read_registers() {
  std::string out;
  for (int i = 0; i < GDB_REGISTER_COUNT; ++i) put_word(out, register_value(i));
  return out;
}

std::string write_registers(std::string_view hex) {
  uint8_t bytes[2 * GDB_REGISTER_COUNT];
  if (!decode_hex(hex, bytes, sizeof bytes)) return ERROR_MALFORMED;
  for (int i = 0; i < GDB_REGISTER_COUNT; ++i) set_register(i, static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  return "OK";
}

std::string read_one_register(std::string_view args) {
  uint32_t index = 0;
  if (!take_number(args, index) || !args.empty() || index >= GDB_REGISTER_COUNT) return ERROR_MALFORMED;
  std::string out;
  put_word(out, register_value(static_cast<int>(index)));
  return out;
}

std::string write_one_register(std::string_view args) {
  uint32_t index = 0;
  uint8_t bytes[2];
  if (!take_number(args, index) || !take_char(args, '=') || index >= GDB_REGISTER_COUNT ||
      !decode_hex(args, bytes, 2))
    return ERROR_MALFORMED;
  set_register(static_cast<int>(index), static_cast<uint16_t>(bytes[0] | bytes[1] << 8));
  return "OK";
}

// Memory as the CPU sees it: ROM and cartridge read, absent memory reads 0. A read past 0xFFFF
// stops there (the protocol allows a shorter answer), and one that would not fit in a packet is
// cut to what fits.
std::string read_memory(std::string_view args) {
  uint32_t address = 0, length = 0;
  if (!take_range(args, address, length, 0)) return ERROR_MALFORMED;
  if (address > 0xFFFF) return ERROR_MALFORMED;
  uint32_t end = address + std::min<uint32_t>(length, 0x10000 - address);
  end = std::min<uint32_t>(end, address + GDB_PACKET_SIZE / 2);
  std::string out;
  for (uint32_t a = address; a < end; ++a) put_byte(out, debug_peek(static_cast<uint16_t>(a)));
  return out;
}

// Writes go where the CPU's writes go and nowhere else: a range that touches the system ROM, a
// cartridge or absent memory is refused whole (E03), so nothing is half written.
std::string write_memory(uint32_t address, const uint8_t* bytes, uint32_t length) {
  if (address > 0xFFFF || length > 0x10000 - address) return ERROR_MALFORMED;
  for (uint32_t a = address; a < address + length; ++a)
    if (!writable(static_cast<uint16_t>(a))) return ERROR_READ_ONLY;
  for (uint32_t k = 0; k < length; ++k) debug_poke(static_cast<uint16_t>(address + k), bytes[k]);
  return "OK";
}

std::string write_memory_hex(std::string_view args) {
  uint32_t address = 0, length = 0;
  if (!take_range(args, address, length, ':') || length > GDB_PACKET_SIZE) return ERROR_MALFORMED;
  uint8_t bytes[GDB_PACKET_SIZE];
  if (!decode_hex(args, bytes, length)) return ERROR_MALFORMED;
  return write_memory(address, bytes, length);
}

// The escapes are undone by the parser, so the data is the rest of the packet.
std::string write_memory_binary(std::string_view args) {
  uint32_t address = 0, length = 0;
  if (!take_range(args, address, length, ':') || args.size() != length) return ERROR_MALFORMED;
  return write_memory(address, reinterpret_cast<const uint8_t*>(args.data()), length);
}

}  // namespace

std::string gdb_frame(std::string_view body) {
  std::string out = "$";
  uint8_t sum = 0;
  for (char c : body) {
    uint8_t b = static_cast<uint8_t>(c);
    if (b == '$' || b == '#' || b == ESCAPE || b == '*') {
      out += static_cast<char>(ESCAPE);
      sum = static_cast<uint8_t>(sum + ESCAPE);
      b ^= 0x20;
    }
    out += static_cast<char>(b);
    sum = static_cast<uint8_t>(sum + b);
  }
  out += '#';
  put_byte(out, sum);
  return out;
}

namespace {

void send(gdb_session& session, const std::string& reply) {
  session.last_reply = gdb_frame(reply);
  session.output += session.last_reply;
}

void packet_complete(gdb_session& session) {
  const bool intact = !session.bad_digit && session.sum == session.sent_checksum;
  if (!session.no_ack) session.output += intact ? '+' : '-';
  if (!intact) return;
  if (session.too_long) {
    send(session, ERROR_MALFORMED);
    return;
  }
  const std::string reply = gdb_command(session, session.body);
  // c and s answer when the machine stops; D is answered before the connection ends; k never.
  if (session.link == gdb_link::running || session.link == gdb_link::killed) return;
  send(session, reply);
}

}  // namespace

void gdb_receive(gdb_session& session, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    switch (session.parse) {
      case gdb_parse::between:
        if (b == '$') {
          session.parse = gdb_parse::body;
          session.body.clear();
          session.sum = 0;
          session.escaped = session.too_long = session.bad_digit = false;
          session.sent_checksum = 0;
        } else if (b == INTERRUPT) {
          if (session.link == gdb_link::running) request_break();
        } else if (b == '-' && !session.no_ack && !session.last_reply.empty()) {
          session.output += session.last_reply;
        }
        // '+' and anything else between packets (line noise) is passed over.
        break;
      case gdb_parse::body:
        if (b == '#' && !session.escaped) {
          session.parse = gdb_parse::checksum_high;
          break;
        }
        session.sum = static_cast<uint8_t>(session.sum + b);
        if (session.escaped) {
          session.escaped = false;
          if (session.body.size() < GDB_PACKET_SIZE) session.body += static_cast<char>(b ^ 0x20);
          else session.too_long = true;
        } else if (b == ESCAPE) {
          session.escaped = true;
        } else if (session.body.size() < GDB_PACKET_SIZE) {
          session.body += static_cast<char>(b);
        } else {
          session.too_long = true;
        }
        break;
      case gdb_parse::checksum_high:
      case gdb_parse::checksum_low: {
        const int d = hex_digit(static_cast<char>(b));
        if (d < 0) session.bad_digit = true;
        session.sent_checksum = static_cast<uint8_t>(session.sent_checksum << 4 | (d < 0 ? 0 : d));
        if (session.parse == gdb_parse::checksum_high) {
          session.parse = gdb_parse::checksum_low;
          break;
        }
        session.parse = gdb_parse::between;
        packet_complete(session);
        if (session.link == gdb_link::detached || session.link == gdb_link::killed) return;
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Commands that act on the run: stops, breakpoints and watchpoints, all through the run control,
// which the debugger window and the headless runner share, so that all of them see one machine.

namespace {

const gdb_point* point_with_id(const gdb_session& session, int id) {
  for (const gdb_point& p : session.points)
    if (p.id == id) return &p;
  return nullptr;
}

// The stop reply for the run control's last stop: SIGINT for a Break (GDB's or anyone's), SIGTRAP
// for the rest. A stop at one of GDB's own breakpoints or watchpoints says which kind, as the
// protocol has it; one at the debugger window's is a plain SIGTRAP, which GDB shows as such.
std::string stop_reply(const gdb_session& session) {
  // The stop GDB found on arrival is reported as a trap, as a stub's first stop is.
  if (!session.resumed) return "T05";
  const StopEvent& stop = last_stop();
  if (stop.reason == StopReason::break_request) return "T02";
  std::string out = "T05";
  const gdb_point* point = point_with_id(session, stop.id);
  if (!point || (stop.reason != StopReason::breakpoint && stop.reason != StopReason::watchpoint)) return out;
  static const char* const kinds[5] = {"swbreak:", "hwbreak:", "watch:", "rwatch:", "awatch:"};
  out += kinds[point->type];
  if (point->type >= 2) {
    char address[8];
    std::snprintf(address, sizeof address, "%x", stop.address);
    out += address;
  }
  out += ';';
  return out;
}

// Z and z: type 0 and 1 are breakpoints (GDB's software and hardware kinds are the same thing
// here: kept by the run control, never written into memory, so that ROM code stops as well);
// 2, 3, 4 watch writes, reads, either, on LEN bytes from ADDR.
std::string point_command(gdb_session& session, bool insert, std::string_view args) {
  uint32_t type = 0, address = 0, length = 0;
  if (!take_number(args, type) || !take_char(args, ',') || !take_number(args, address) ||
      !take_char(args, ',') || !take_number(args, length))
    return ERROR_MALFORMED;
  // Conditions and commands for the target to evaluate (";X..." after the kind) are not offered,
  // so GDB sends none.
  if (!args.empty() && args.front() != ';') return ERROR_MALFORMED;
  if (type > 4) return "";
  if (address > 0xFFFF) return ERROR_MALFORMED;
  // A breakpoint's third field is GDB's kind (the length of the instruction it would write).
  if (type <= 1) length = 1;
  if (length == 0 || length > 0x10000 - address) return ERROR_MALFORMED;
  if (!insert) {
    // GDB may insert the same point twice (a user's and a single step's); each z removes one.
    for (auto p = session.points.begin(); p != session.points.end(); ++p)
      if (p->type == type && p->address == address && p->length == length) {
        if (type <= 1) remove_breakpoint(p->id);
        else remove_watchpoint(p->id);
        session.points.erase(p);
        break;
      }
    return "OK";
  }
  const uint16_t first = static_cast<uint16_t>(address), last = static_cast<uint16_t>(address + length - 1);
  const int id = type <= 1 ? add_breakpoint(first)
                           : add_watchpoint(WatchSpace::memory, first, last, type != 2, type != 3);
  if (id <= 0) return ERROR_NO_ROOM;
  session.points.push_back({static_cast<uint8_t>(type), first, length, id});
  return "OK";
}

// c [ADDR] and s [ADDR]: the machine runs (one instruction for s); the stop reply comes later.
std::string resume_command(gdb_session& session, bool step, std::string_view args) {
  uint32_t address = 0;
  if (!args.empty()) {
    if (!take_number(args, address) || !args.empty() || address > 0xFFFF) return ERROR_MALFORMED;
    z80.pc = static_cast<uint16_t>(address);
  }
  if (step) step_into();
  else resume();
  session.link = gdb_link::running;
  session.resumed = true;
  return "";
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string query(gdb_session& session, std::string_view packet) {
  if (starts_with(packet, "qSupported")) {
    char reply[96];
    std::snprintf(reply, sizeof reply, "PacketSize=%zx;QStartNoAckMode+;swbreak+;hwbreak+", GDB_PACKET_SIZE);
    return reply;
  }
  if (packet == "QStartNoAckMode") {
    // This packet is still acknowledged; from its reply on, nothing is.
    session.no_ack = true;
    return "OK";
  }
  // One process, which was running before GDB came: quitting GDB detaches rather than kills.
  if (packet == "qAttached" || starts_with(packet, "qAttached:")) return "1";
  if (packet == "qSymbol::") return "OK";
  return "";
}

}  // namespace

std::string gdb_command(gdb_session& session, std::string_view packet) {
  if (packet.empty()) return "";
  const char command = packet.front();
  std::string_view args = packet.substr(1);
  switch (command) {
    case '?': return stop_reply(session);
    case 'g': return args.empty() ? read_registers() : ERROR_MALFORMED;
    case 'G': return write_registers(args);
    case 'p': return read_one_register(args);
    case 'P': return write_one_register(args);
    case 'm': return read_memory(args);
    case 'M': return write_memory_hex(args);
    case 'X': return write_memory_binary(args);
    case 'c': return resume_command(session, false, args);
    case 's': return resume_command(session, true, args);
    // With a signal to deliver: the machine has no signals, so the run goes on without it.
    case 'C':
    case 'S': {
      const size_t semicolon = args.find(';');
      uint32_t signal = 0;
      std::string_view number = args.substr(0, semicolon);
      if (!take_number(number, signal) || !number.empty()) return ERROR_MALFORMED;
      return resume_command(session, command == 'S', semicolon == std::string_view::npos ? "" : args.substr(semicolon + 1));
    }
    case 'Z': return point_command(session, true, args);
    case 'z': return point_command(session, false, args);
    // There is one thread; choosing it is always right.
    case 'H': return "OK";
    case 'D':
      session.link = gdb_link::detached;
      return "OK";
    case 'k':
      session.link = gdb_link::killed;
      return "";
    case 'q':
    case 'Q': return query(session, packet);
    default: return "";
  }
}

void gdb_session_begin(gdb_session& session) {
  session = gdb_session{};
  session.body.reserve(GDB_PACKET_SIZE);
  // GDB expects to find the target stopped. Its packets wait until the machine is.
  session.link = gdb_link::attaching;
  if (!machine_stopped()) request_break();
}

void gdb_check_stop(gdb_session& session) {
  if (!machine_stopped()) return;
  if (session.link == gdb_link::attaching) session.link = gdb_link::stopped;
  if (session.link != gdb_link::running) return;
  session.link = gdb_link::stopped;
  send(session, stop_reply(session));
}

void gdb_session_end(gdb_session& session) {
  for (const gdb_point& p : session.points) {
    if (p.type <= 1) remove_breakpoint(p.id);
    else remove_watchpoint(p.id);
  }
  session.points.clear();
  // However the client left, the machine runs on: a step or a Break it asked for is dropped.
  cancel_run_requests();
  if (machine_stopped()) resume();
  if (session.link != gdb_link::killed) session.link = gdb_link::detached;
}
