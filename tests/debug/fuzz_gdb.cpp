// libFuzzer harness of the GDB stub's packet parser and commands, on the machine with the free
// ROMs. The first byte cuts the rest into chunks of its size (as a socket might deliver them);
// whenever GDB has let the machine run, a frame runs, up to three an input (so that the stops
// are reached too, at a rate of inputs that still finds things). Whatever comes in, the stub must
// send only acknowledgements and well-formed packets with correct checksums, and a session that
// ends must leave no point of GDB's behind and the machine running.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/roms.h"
#include "core/memory.h"
#include "debug/gdb_protocol.h"
#include "debug/run_control.h"
#include "z80/z80.h"

namespace {

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void check_output(const std::string& out) {
  size_t at = 0;
  while (at < out.size()) {
    if (out[at] == '+' || out[at] == '-') {
      ++at;
      continue;
    }
    if (out[at] != '$') std::abort();
    const size_t hash = out.find('#', at);
    if (hash == std::string::npos || hash + 3 > out.size()) std::abort();
    unsigned sum = 0;
    for (size_t i = at + 1; i < hash; ++i) {
      const char c = out[i];
      if (c == '$' || c == '#' || (c == '}' && (i + 1 == hash))) std::abort();
      sum += static_cast<uint8_t>(c);
    }
    if (hex(out[hash + 1]) < 0 || hex(out[hash + 2]) < 0 ||
        static_cast<unsigned>(hex(out[hash + 1]) * 16 + hex(out[hash + 2])) != (sum & 0xFF))
      std::abort();
    if (hash - at > 2 * 4096 + 16) std::abort();
    at = hash + 3;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (Initialise_Emulator(), true);
  (void)ready;
  if (size == 0) return 0;
  Rebuild_Mem();
  Reset_Z80();
  gdb_session session;
  gdb_session_begin(session);
  run_frame();  // the Break the connection asked for
  gdb_check_stop(session);
  if (session.link != gdb_link::stopped) std::abort();
  const size_t chunk = data[0] ? data[0] : 1;
  int frames_left = 3;
  for (size_t at = 1; at < size; at += chunk) {
    gdb_receive(session, data + at, std::min(chunk, size - at));
    if (session.link == gdb_link::running && frames_left-- > 0) {
      run_frame();
      gdb_check_stop(session);
    }
    check_output(session.output);
    session.output.clear();
    if (session.link == gdb_link::detached || session.link == gdb_link::killed) break;
  }
  gdb_session_end(session);
  if (!breakpoint_list().empty() || !watchpoint_list().empty() || machine_stopped()) std::abort();
  return 0;
}
