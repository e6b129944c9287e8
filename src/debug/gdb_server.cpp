// The GDB stub's sockets: plain POSIX, non-blocking, polled from the frame loop.
#include "debug/gdb_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int gdb_listen_socket = -1;
int gdb_client_socket = -1;
uint16_t gdb_port = 0;
gdb_session gdb_client;
gdb_ending gdb_last_ending = gdb_ending::none;

namespace {

std::string unsent;  // output the socket did not take yet

bool make_non_blocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void end_connection(gdb_ending how) {
  gdb_session_end(gdb_client);
  close(gdb_client_socket);
  gdb_client_socket = -1;
  unsent.clear();
  gdb_last_ending = how;
}

void accept_clients() {
  for (;;) {
    const int fd = accept(gdb_listen_socket, nullptr, nullptr);
    if (fd < 0) return;
    // One debugger at a time: another is turned away by closing its connection.
    if (gdb_client_socket >= 0 || !make_non_blocking(fd)) {
      close(fd);
      continue;
    }
    // Packets are small and answered one by one: each should go out at once.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    gdb_client_socket = fd;
    unsent.clear();
    gdb_session_begin(gdb_client);
  }
}

// False when the client has gone.
bool flush() {
  while (!unsent.empty()) {
    const ssize_t n = send(gdb_client_socket, unsent.data(), unsent.size(), MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    unsent.erase(0, static_cast<size_t>(n));
  }
  return true;
}

void serve_client() {
  // A stop since the last poll: its reply goes before anything else.
  gdb_check_stop(gdb_client);
  // GDB's first packets wait in the socket until the machine has stopped for it.
  if (gdb_client.link == gdb_link::attaching) return;
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = recv(gdb_client_socket, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      end_connection(gdb_ending::closed);
      return;
    }
    if (n < 0) break;
    gdb_receive(gdb_client, buffer, static_cast<size_t>(n));
    if (gdb_client.link == gdb_link::detached || gdb_client.link == gdb_link::killed) break;
  }
  unsent += gdb_client.output;
  gdb_client.output.clear();
  if (!flush()) {
    end_connection(gdb_ending::closed);
    return;
  }
  if (gdb_client.link == gdb_link::detached || gdb_client.link == gdb_link::killed) {
    const gdb_ending how = gdb_client.link == gdb_link::killed ? gdb_ending::killed : gdb_ending::detached;
    // The reply to D goes out before the connection closes; a blocking moment is no harm here.
    const int flags = fcntl(gdb_client_socket, F_GETFL, 0);
    if (flags >= 0) fcntl(gdb_client_socket, F_SETFL, flags & ~O_NONBLOCK);
    flush();
    end_connection(how);
  }
}

}  // namespace

bool gdb_server_open(uint16_t port, std::string& message) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    message = std::string("cannot make a socket for GDB: ") + std::strerror(errno);
    return false;
  }
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Only programs on this computer may connect: the stub reads and writes the whole machine.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 1) != 0 ||
      !make_non_blocking(fd) || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    message = "cannot listen for GDB on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  gdb_listen_socket = fd;
  gdb_port = ntohs(address.sin_port);
  gdb_last_ending = gdb_ending::none;
  return true;
}

void gdb_server_poll(int wait_ms) {
  if (gdb_listen_socket < 0) return;
  if (wait_ms > 0) {
    pollfd fds[2] = {{gdb_listen_socket, POLLIN, 0}, {gdb_client_socket, POLLIN, 0}};
    poll(fds, gdb_client_socket >= 0 ? 2 : 1, wait_ms);
  }
  accept_clients();
  if (gdb_client_socket >= 0) serve_client();
}

bool gdb_server_connected() { return gdb_client_socket >= 0; }

void gdb_server_close() {
  if (gdb_client_socket >= 0) end_connection(gdb_ending::closed);
  if (gdb_listen_socket >= 0) close(gdb_listen_socket);
  gdb_listen_socket = -1;
}
