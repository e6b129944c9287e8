// libFuzzer harness of the GDB stub's packet parser and commands, on the machine with the free
// ROMs. The first byte cuts the rest into chunks of its size (as a socket might deliver them);
// whenever GDB has let the machine run, a frame runs, up to three an input (so that the stops
// are reached too, at a rate of inputs that still finds things). Whatever comes in, the stub must
// send only acknowledgements and well-formed packets with correct checksums, and a session that
// ends must leave no point of GDB's behind and the machine running.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/memory.h"
#include "core/roms.h"
#include "debug/gdb_protocol.h"
#include "debug/run_control.h"
#include "z80/z80.h"

namespace {

void check_output(const std::string& out) {
  for (size_t at = 0; at < out.size();) {
    if (out[at] == '+' || out[at] == '-') {
      ++at;
      continue;
    }
    const size_t hash = out.find('#', at);
    if (out[at] != '$' || hash == std::string::npos || hash + 3 > out.size() || hash - at > 2 * 4096 + 16) std::abort();
    unsigned sum = 0;
    for (size_t i = at + 1; i < hash; ++i) {
      if (out[i] == '$' || (out[i] == '}' && i + 1 == hash)) std::abort();
      sum += static_cast<uint8_t>(out[i]);
    }
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", sum & 0xFF);
    if (out.compare(hash + 1, 2, digits) != 0) std::abort();
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
  for (size_t at = 1; at < size && session.link != gdb_link::detached && session.link != gdb_link::killed;
       at += chunk) {
    gdb_receive(session, data + at, std::min(chunk, size - at));
    if (session.link == gdb_link::running && frames_left-- > 0) {
      run_frame();
      gdb_check_stop(session);
    }
    check_output(session.output);
    session.output.clear();
  }
  gdb_session_end(session);
  if (!breakpoint_list().empty() || !watchpoint_list().empty() || machine_stopped()) std::abort();
  return 0;
}
