#include "tests/support/MsgServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

constexpr unsigned char kStartMark = 0x0B;
constexpr int kSliceMs = 5;
constexpr int kPieceGapMs = 30;  // long enough for the client to read a piece on its own

int32_t IntAt(const std::string& bytes, size_t at) {
  const auto b = [&](size_t i) { return uint32_t(uint8_t(bytes[at + i])); };
  return int32_t(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
}

}  // namespace

MsgServer::MsgServer(Script script, int idleCloseMs, bool keep)
    : LoopbackServer(false), script_(std::move(script)), idleCloseMs_(idleCloseMs), keep_(keep) {
  Start();
}

MsgServer::~MsgServer() { Stop(); }

std::vector<MsgServer::Frame> MsgServer::Frames() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return frames_;
}

void MsgServer::Push(const std::string& bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  pushed_ += bytes;
}

std::string MsgServer::Header(int type, int length) {
  std::string h(10, '\0');
  h[0] = char(kStartMark);
  h[1] = char(type);
  const std::string digits = std::to_string(length);
  h.replace(2, std::min<size_t>(digits.size(), 8), digits.substr(0, 8));
  return h;
}

std::string MsgServer::Int(int32_t value) {
  const uint32_t v = uint32_t(value);
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string MsgServer::Reply(int type, const std::string& payload, const std::string& data) {
  return Header(type, int(payload.size())) + payload + data;
}

void MsgServer::Serve(Peer& peer, int number) {
  Frame frame;
  while (ReadFrame(peer, frame)) {
    if (keep_) {
      std::lock_guard<std::mutex> hold(mutex_);
      frames_.push_back(frame);
    }
    const Answer answer = script_(number, frame);
    for (size_t i = 0; i < answer.pieces.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPieceGapMs));
      if (!SendAll(peer, answer.pieces[i])) return;
    }
    if (answer.then == Answer::Close) return;
  }
}

bool MsgServer::ReadFrame(Peer& peer, Frame& frame) {
  frame = Frame();
  // Bytes in front of the start mark are not the client's; they are dropped.
  for (;;) {
    if (!Fill(peer, 1)) return false;
    if (uint8_t(peer.pending[0]) == kStartMark) break;
    peer.pending.erase(0, 1);
  }
  if (!Fill(peer, 10)) return false;
  frame.header = peer.pending.substr(0, 10);
  frame.type = uint8_t(frame.header[1]);
  size_t length = 0;
  for (size_t i = 2; i < 10 && frame.header[i] >= '0' && frame.header[i] <= '9'; ++i)
    length = length * 10 + size_t(frame.header[i] - '0');
  if (!Fill(peer, 10 + length)) return false;
  frame.payload = peer.pending.substr(10, length);
  peer.pending.erase(0, 10 + length);
  if (frame.type == 4 && length >= 8) {
    const int32_t data = IntAt(frame.payload, 4);
    if (data > 0) {
      if (!Fill(peer, size_t(data))) return false;
      frame.data = peer.pending.substr(0, size_t(data));
      peer.pending.erase(0, size_t(data));
    }
  }
  return true;
}

bool MsgServer::Fill(Peer& peer, size_t count) {
  using Clock = std::chrono::steady_clock;
  const auto idleSince = Clock::now();
  pollfd p{};
  p.fd = peer.fd;
  p.events = POLLIN;
  while (peer.pending.size() < count) {
    if (Stopping()) return false;
    std::string push;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      push.swap(pushed_);
    }
    if (!push.empty() && !SendAll(peer, push)) return false;
    if (idleCloseMs_ > 0 && Clock::now() - idleSince > std::chrono::milliseconds(idleCloseMs_)) return false;
    const int r = ::poll(&p, 1, kSliceMs);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    char piece[4096];
    const ssize_t n = ::recv(peer.fd, piece, sizeof piece, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    peer.pending.append(piece, size_t(n));
  }
  return true;
}
