#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Resolver.h"

namespace {

constexpr size_t kHostNameLimit = 64;

// One poll of the socket for the given events; tcpReady, tcpTimedOut or tcpError. A poll that a
// signal interrupts goes on for what is left of the time, so signals cannot stretch the wait.
int WaitFor(int fd, short events, int timeoutMs) {
  if (fd < 0) return TTcpClient::tcpError;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  pollfd p{};
  p.fd = fd;
  p.events = events;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int r = ::poll(&p, 1, left < 0 ? 0 : int(left));
    if (r > 0) {
      // A closed or reset peer still lets a read see the end; writes see the error.
      if (p.revents & events) return TTcpClient::tcpReady;
      if (p.revents & (POLLHUP | POLLERR)) return (events & POLLIN) ? TTcpClient::tcpReady : TTcpClient::tcpError;
      return TTcpClient::tcpError;
    }
    if (r == 0) return TTcpClient::tcpTimedOut;
    if (errno != EINTR) return TTcpClient::tcpError;
  }
}

}  // namespace

AnsiString LocalHostName() {
  char name[kHostNameLimit + 1] = {};
  if (::gethostname(name, kHostNameLimit) != 0) return AnsiString();
  return AnsiString(name, strnlen(name, kHostNameLimit));
}

bool ResolveHostAddress(const AnsiString& host, uint32_t& address) {
  if (host.empty() || host.find('\0') != AnsiString::npos) return false;
  const uint32_t dotted = InetAddr(host);
  if (dotted != INADDR_NONE) {
    address = dotted;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  bool ok = false;
  for (const addrinfo* a = found; a && !ok; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
    ok = true;
  }
  ::freeaddrinfo(found);
  return ok;
}

bool ResolveServicePort(const AnsiString& service, uint16_t& port) {
  if (service.find('\0') != AnsiString::npos) return false;
  int number = 0;
  if (std::sscanf(service.c_str(), "%d", &number) == 1) {
    if (number < 1 || number > 65535) return false;
    port = uint16_t(number);
    return true;
  }
  servent entry{};
  servent* found = nullptr;
  std::vector<char> buf(4096);
  if (::getservbyname_r(service.c_str(), "tcp", &entry, buf.data(), buf.size(), &found) != 0 || !found) return false;
  port = ntohs(uint16_t(found->s_port));
  return true;
}

int TTcpClient::Fail() {
  error_ = errno;
  return tcpError;
}

bool TTcpClient::Open() {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return Fail(), false;
  linger off{};
  off.l_onoff = 1;
  off.l_linger = 0;
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
  // One request, one reply: each goes out at once instead of waiting for an acknowledgement.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return true;
}

bool TTcpClient::Connect(uint32_t address, uint16_t port, int timeoutMs) {
  const int begun = BeginConnect(address, port);
  if (begun != tcpAgain) return begun == tcpReady;
  if (WaitFor(fd_, POLLOUT, timeoutMs) != tcpReady) return false;
  error_ = ConnectError();
  return error_ == 0;
}

int TTcpClient::BeginConnect(uint32_t address, uint16_t port) {
  if (fd_ < 0) return tcpError;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return tcpReady;
  if (errno == EINPROGRESS || errno == EINTR) return tcpAgain;
  return Fail();
}

int TTcpClient::ConnectError() const {
  int error = 0;
  socklen_t length = sizeof error;
  if (fd_ < 0) return EBADF;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

int TTcpClient::WaitWritable(int timeoutMs) { return WaitFor(fd_, POLLOUT, timeoutMs); }

int TTcpClient::WaitReadable(int timeoutMs) { return WaitFor(fd_, POLLIN, timeoutMs); }

long TTcpClient::Send(const void* data, size_t size) {
  if (fd_ < 0) return tcpError;
  for (;;) {
    const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (n >= 0) return long(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? tcpAgain : Fail();
  }
}

long TTcpClient::Receive(void* data, size_t size, bool peek) {
  if (fd_ < 0) return tcpError;
  for (;;) {
    const ssize_t n = ::recv(fd_, data, size, peek ? MSG_PEEK : 0);
    if (n >= 0) return long(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? tcpAgain : Fail();
  }
}

void TTcpClient::Shutdown() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  Close();
}

void TTcpClient::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}
