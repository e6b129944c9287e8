// The socket side of the GDB stub: one TCP listener on 127.0.0.1, one client at a time, all
// non-blocking and polled by the frame loop (once a frame, and while the machine is stopped),
// so that no thread is involved.
#pragma once
#include <cstdint>
#include <string>

#include "debug/gdb_protocol.h"

// How the last connection ended.
enum class gdb_ending : uint8_t {
  none,      // no client has come and gone yet
  detached,  // D: the machine runs on
  killed,    // k
  closed,    // the client went away without a word: the machine runs on
};

extern int gdb_listen_socket;      // the listener, -1 when the stub is off
extern int gdb_client_socket;      // the connected client, -1 when none
extern uint16_t gdb_port;          // the port listened on (the one chosen when 0 was asked for)
extern gdb_session gdb_client;     // the protocol state of the connected client
extern gdb_ending gdb_last_ending;  // how the last client left

// Listens on 127.0.0.1:port (0: any free port, then named by gdb_port). False, with a message
// naming the port and the reason, when it cannot.
bool gdb_server_open(uint16_t port, std::string& message);
// Accepts a waiting client (a second one is closed at once), takes what it sent, answers, and
// sends what is still to go. wait_ms > 0 waits that long for something to arrive first, which
// is how a loop with a stopped machine sleeps.
void gdb_server_poll(int wait_ms);
bool gdb_server_connected();
// Ends the connection, if any (as if the client went away), and the listener.
void gdb_server_close();
