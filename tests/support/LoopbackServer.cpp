#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kSliceMs = 20;  // how often a waiting thread looks at the stop request

// Waits in slices for the socket to become readable; false when the server stops first.
bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  pollfd p{};
  p.fd = fd;
  p.events = POLLIN;
  while (!stopping.load()) {
    const int r = ::poll(&p, 1, kSliceMs);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
  return false;
}

}  // namespace

LoopbackServer::LoopbackServer(bool concurrent) : concurrent_(concurrent) {}

LoopbackServer::~LoopbackServer() { Stop(); }

AnsiString LoopbackServer::TableName(const AnsiString& path) const {
  return "//127.0.0.1:" + std::to_string(port_) + "/" + path;
}

bool LoopbackServer::Start() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(at.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void LoopbackServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& w : workers_) w->thread.join();
  workers_.clear();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

void LoopbackServer::AcceptLoop() {
  while (WaitReadable(listener_, stopping_)) {
    ReapFinished();
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int number = ++connections_;
    if (!concurrent_) {
      Peer peer;
      peer.fd = fd;
      Serve(peer, number);
      ::close(fd);
      continue;
    }
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    w->thread = std::thread([this, w, fd, number] {
      Peer peer;
      peer.fd = fd;
      Serve(peer, number);
      ::close(fd);
      w->done = true;
    });
    workers_.push_back(std::move(worker));
  }
}

void LoopbackServer::ReapFinished() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if ((*it)->done.load()) {
      (*it)->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool LoopbackServer::ReadRequest(Peer& peer, std::string& request) {
  for (;;) {
    const size_t end = peer.pending.find('\0');
    if (end != std::string::npos) {
      request = peer.pending.substr(0, end);
      peer.pending.erase(0, end + 1);
      return true;
    }
    if (!WaitReadable(peer.fd, stopping_)) return false;
    char piece[4096];
    const ssize_t n = ::recv(peer.fd, piece, sizeof piece, 0);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    peer.pending.append(piece, size_t(n));
  }
}

bool LoopbackServer::SendAll(Peer& peer, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(peer.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

void LoopbackServer::WaitForClose(Peer& peer) {
  char piece[4096];
  while (WaitReadable(peer.fd, stopping_)) {
    const ssize_t n = ::recv(peer.fd, piece, sizeof piece, 0);
    if (n == 0 || (n < 0 && errno != EINTR)) return;
  }
}
