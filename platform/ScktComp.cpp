#include "platform/ScktComp.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Forms.h"
#include "platform/Socket.h"

namespace {

const char* Operation(TErrorEvent kind) {
  switch (kind) {
    case eeSend: return "send";
    case eeReceive: return "recv";
    case eeConnect: return "connect";
    case eeDisconnect: return "disconnect";
    case eeAccept: return "accept";
    case eeLookup: return "lookup";
    default: return "socket";
  }
}

}  // namespace

// ---- TCustomWinSocket ----

TCustomWinSocket::TCustomWinSocket(TClientSocket* owner) : owner_(owner) {}

TCustomWinSocket::~TCustomWinSocket() = default;

int TCustomWinSocket::SendBuf(const void* buf, int count) {
  if (!connected_) return -1;
  if (count <= 0) return 0;
  const long n = tcp_->Send(buf, size_t(count));
  if (n >= 0) return int(n);
  if (n == TTcpClient::tcpAgain) return 0;
  owner_->Fail(eeSend, tcp_->LastError());
  return -1;
}

int TCustomWinSocket::ReceiveBuf(void* buf, int count) {
  if (!connected_) return -1;
  if (count <= 0) return 0;
  const long n = tcp_->Receive(buf, size_t(count));
  if (n > 0 || n == TTcpClient::tcpAgain) {
    owner_->ArmRead();
    return n > 0 ? int(n) : 0;
  }
  if (n == 0) {
    TClientSocket* owner = owner_;
    owner->Shut();
    owner->Later([owner] { owner->Notify(owner->OnDisconnect); });
    return 0;
  }
  owner_->Fail(eeReceive, tcp_->LastError());
  return -1;
}

bool TCustomWinSocket::WaitForData(int ms) {
  return connected_ && tcp_->WaitReadable(ms) == TTcpClient::tcpReady;
}

bool TCustomWinSocket::WaitForSpace(int ms) {
  return connected_ && tcp_->WaitWritable(ms) == TTcpClient::tcpReady;
}

// ---- TClientSocket ----

TClientSocket::TClientSocket(TComponent* owner)
    : TComponent(owner), socket_(new TCustomWinSocket(this)), context_(new QObject) {}

TClientSocket::~TClientSocket() {
  // The notifiers go before the descriptor they watch.
  readNote_.reset();
  writeNote_.reset();
  retired_.clear();
  context_.reset();
  socket_.reset();
}

void TClientSocket::SetActive(bool on) {
  if (on == active_) return;
  if (!on) {
    Shut();
    return;
  }
  active_ = true;
  ++generation_;
  Connect();
}

void TClientSocket::Connect() {
  retired_.clear();
  uint32_t address = 0;
  uint16_t port = 0;
  if (!ResolveHostAddress(Host, address)) {
    Later([this] { Fail(eeLookup, EHOSTUNREACH); });
    return;
  }
  if (Port > 0 && Port <= 65535) {
    port = uint16_t(Port);
  } else if (!ResolveServicePort(Service, port)) {
    Later([this] { Fail(eeLookup, EINVAL); });
    return;
  }
  socket_->tcp_ = std::make_unique<TTcpClient>();
  TTcpClient& tcp = *socket_->tcp_;
  if (!tcp.Open() || tcp.BeginConnect(address, port) == TTcpClient::tcpError) {
    const int code = tcp.LastError();
    Later([this, code] { Fail(eeConnect, code); });
    return;
  }
  // A connection that ends, made or refused, makes the socket writable.
  writeNote_ = std::make_unique<QSocketNotifier>(tcp.Handle(), QSocketNotifier::Write);
  QObject::connect(writeNote_.get(), &QSocketNotifier::activated, [this] { Connected(); });
}

void TClientSocket::Connected() {
  writeNote_->setEnabled(false);
  retired_.push_back(std::move(writeNote_));
  TTcpClient& tcp = *socket_->tcp_;
  if (const int error = tcp.ConnectError()) {
    Fail(eeConnect, error);
    return;
  }
  socket_->connected_ = true;
  readNote_ = std::make_unique<QSocketNotifier>(tcp.Handle(), QSocketNotifier::Read);
  QObject::connect(readNote_.get(), &QSocketNotifier::activated, [this] { Readable(); });
  Notify(OnConnect);
}

void TClientSocket::Readable() {
  // Quiet until the bytes are read, as the header comment of OnRead says.
  readNote_->setEnabled(false);
  TTcpClient& tcp = *socket_->tcp_;
  char first = 0;
  const long n = tcp.Receive(&first, 1, true);
  if (n > 0) {
    Notify(OnRead);
  } else if (n == TTcpClient::tcpAgain) {
    ArmRead();
  } else if (n == 0) {
    Shut();
    Notify(OnDisconnect);
  } else {
    Fail(eeReceive, tcp.LastError());
  }
}

void TClientSocket::ArmRead() {
  if (readNote_) readNote_->setEnabled(true);
}

void TClientSocket::Shut() {
  for (auto* note : {&readNote_, &writeNote_}) {
    if (!*note) continue;
    (*note)->setEnabled(false);
    retired_.push_back(std::move(*note));
  }
  if (socket_->tcp_) socket_->tcp_->Close();
  socket_->connected_ = false;
  active_ = false;
  ++generation_;
}

void TClientSocket::Fail(TErrorEvent kind, int code) {
  Shut();
  int left = code;
  if (TSocketErrorEvent handler = OnError) handler(this, socket_.get(), kind, left);
  if (left == 0) return;
  const std::string what = "ソケットエラー " + std::to_string(left) + " (" + std::strerror(left) + "), " + Operation(kind);
  if (Application)
    Application->ShowException(what);
  else
    std::fprintf(stderr, "%s\n", what.c_str());
}

void TClientSocket::Notify(const TSocketNotifyEvent& event) {
  // A copy runs, so that a handler may set the event anew.
  if (TSocketNotifyEvent handler = event) handler(this, socket_.get());
}

void TClientSocket::Later(std::function<void()> work) {
  const unsigned generation = generation_;
  QTimer::singleShot(0, context_.get(), [this, generation, work = std::move(work)] {
    if (generation == generation_) work();
  });
}
