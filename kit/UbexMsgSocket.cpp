#include "kit/UbexMsgSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kStartMark = 0x0B;
constexpr unsigned char kTrigger = 0x01;

enum : int {
  kRegistration = 0,
  kCount = 2,
  kSend = 4,
  kAcknowledgement = 5,
  kScan = 7,
  kReceive = 8,
};

// Codes the component sets itself: a bad argument, a reply of the wrong size, a failed socket, and
// the header of a wait that the socket ended.
enum : int { kBadArgument = 1, kBadReply = 4, kNetworkFailed = 11, kSystemError = 18 };

// The registration payload: MyName at byte 24, in 20 bytes, inside 48.
constexpr int kRegistrationSize = 48;
constexpr int kMyNameAt = 24;
constexpr int kMyNameLimit = 20;

// Eight decimal digits is the longest length a header holds.
constexpr int kLengthLimit = 99999999;
constexpr int kCountLimit = 32767;
// How long a waiting request sleeps between looks at the socket; it still waits without limit.
constexpr int kWaitSliceMs = 10;

// Keeps the client socket's read event aside while an exchange runs, so that no read event breaks
// into it (a user's handler that processes events could otherwise run one).
class ExclusiveUse {
 public:
  explicit ExclusiveUse(TClientSocket& socket) : socket_(socket), saved_(std::move(socket.OnRead)) {
    socket_.OnRead = nullptr;
  }
  ~ExclusiveUse() { socket_.OnRead = std::move(saved_); }
  ExclusiveUse(const ExclusiveUse&) = delete;
  ExclusiveUse& operator=(const ExclusiveUse&) = delete;

 private:
  TClientSocket& socket_;
  TSocketNotifyEvent saved_;
};

}  // namespace

TUbexMsgSocket::TUbexMsgSocket(TComponent* owner) : TClientSocket(owner) {
  TClientSocket::OnConnect = [this](TObject* sender, TCustomWinSocket* socket) { ConnectCB(sender, socket); };
  TClientSocket::OnRead = [this](TObject* sender, TCustomWinSocket* socket) { ReadCB(sender, socket); };
  TClientSocket::OnError = [this](TObject* sender, TCustomWinSocket* socket, TErrorEvent kind, int& code) {
    ErrorCB(sender, socket, kind, code);
  };
}

// ---- Framing ----

void TUbexMsgSocket::ParseHeader(const unsigned char header[kHeaderSize], int& type, int& length) {
  type = header[1];
  length = 0;
  for (int i = 2; i < kHeaderSize && header[i] >= '0' && header[i] <= '9'; ++i) length = length * 10 + (header[i] - '0');
}

bool TUbexMsgSocket::Usable(int errorsBefore) { return Socket()->Connected() && socketErrors_ == errorsBefore; }

void TUbexMsgSocket::UMSendHeader(int type, int length) {
  const int before = socketErrors_;
  // Whatever is left of an earlier exchange (or a trigger byte) must not pass for the reply.
  unsigned char piece[11];
  while (Usable(before) && Socket()->ReceiveBuf(piece, sizeof piece) > 0) {
  }
  if (!Usable(before)) return;
  unsigned char header[kHeaderSize] = {kStartMark, static_cast<unsigned char>(type)};
  char digits[16];
  const int n = std::snprintf(digits, sizeof digits, "%d", length);
  std::memcpy(header + 2, digits, size_t(std::clamp(n, 0, kHeaderSize - 2)));
  UMSendLength(header, kHeaderSize);
}

bool TUbexMsgSocket::UMSendLength(const void* bytes, int count) {
  const int before = socketErrors_;
  const auto* at = static_cast<const unsigned char*>(bytes);
  for (int sent = 0; sent < count;) {
    if (!Usable(before)) return false;
    const int n = Socket()->SendBuf(at + sent, count - sent);
    if (n > 0)
      sent += n;
    else
      Socket()->WaitForSpace(kWaitSliceMs);
  }
  return true;
}

bool TUbexMsgSocket::UMRecvLength(void* bytes, int count) {
  const int before = socketErrors_;
  auto* at = static_cast<unsigned char*>(bytes);
  for (int got = 0; got < count;) {
    if (!Usable(before)) return false;
    const int n = Socket()->ReceiveBuf(at + got, count - got);
    if (n > 0)
      got += n;
    else
      Socket()->WaitForData(kWaitSliceMs);
  }
  return true;
}

void TUbexMsgSocket::UMRecvHeader(int& type, int& length) {
  const int before = socketErrors_;
  unsigned char header[kHeaderSize] = {};
  bool whole = false;
  while (UMRecvLength(header, 1)) {
    if (header[0] == kStartMark) {
      whole = UMRecvLength(header + 1, kHeaderSize - 1);
      break;
    }
  }
  if (!whole || socketErrors_ != before) {
    type = kSystemError;
    length = 0;
    return;
  }
  ParseHeader(header, type, length);
}

bool TUbexMsgSocket::UMSendInt(int32_t value) {
  const uint32_t v = uint32_t(value);
  const unsigned char bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  return UMSendLength(bytes, 4);
}

bool TUbexMsgSocket::UMRecvInt(int32_t& value) {
  unsigned char bytes[4];
  if (!UMRecvLength(bytes, 4)) return false;
  value = int32_t(uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
  return true;
}

void TUbexMsgSocket::UMClear() {
  // The client socket never blocks, so the drain needs no change of mode.
  unsigned char piece[20];
  while (Socket()->ReceiveBuf(piece, sizeof piece) > 0) {
  }
}

bool TUbexMsgSocket::CheckTrigger() {
  const int before = socketErrors_;
  unsigned char byte = 0;
  return Socket()->ReceiveBuf(&byte, 1) == 1 && byte == kTrigger && socketErrors_ == before;
}

// ---- Handshake and socket events ----

void TUbexMsgSocket::ConnectCB(TObject*, TCustomWinSocket*) {
  ExclusiveUse hold(*this);
  lastError_ = 0;
  state_ = 0;
  unsigned char payload[kRegistrationSize] = {};
  std::memcpy(payload + kMyNameAt, MyName.data(), std::min<size_t>(MyName.size(), kMyNameLimit));
  UMSendHeader(kRegistration, kRegistrationSize);
  UMSendLength(payload, kRegistrationSize);
}

void TUbexMsgSocket::ReadCB(TObject*, TCustomWinSocket* socket) {
  ExclusiveUse hold(*this);
  lastError_ = 0;
  int type = 0, length = 0;
  switch (state_) {
    case 0:
      UMRecvHeader(type, length);
      if (type == 0 && length == 0) {
        state_ = 1;
        UMSendHeader(kAcknowledgement, 4);
        UMSendInt(1);
        return;
      }
      // A success that carries a payload is no answer to a registration either.
      lastError_ = type != 0 ? type : kBadReply;
      if (TSocketErrorEvent handler = OnError) handler(this, socket, eeConnect, lastError_);
      Close();
      return;
    case 1:
      UMRecvHeader(type, length);
      state_ = 2;
      // The handshake is over only when the answer came; a connection that ended meanwhile is gone.
      if (TSocketNotifyEvent handler = OnConnect; handler && Socket()->Connected()) handler(this, socket);
      return;
    default:
      if (CheckTrigger())
        if (TSocketNotifyEvent handler = OnRead) handler(this, socket);
  }
}

void TUbexMsgSocket::ErrorCB(TObject* sender, TCustomWinSocket* socket, TErrorEvent kind, int& code) {
  ++socketErrors_;
  TSocketErrorEvent handler = OnError;
  if (!handler) return;
  code = kNetworkFailed;
  handler(sender, socket, kind, code);
  code = 0;
}

// ---- Requests ----

void TUbexMsgSocket::Refuse(TObject* sender, TErrorEvent kind, int type, int length) {
  lastError_ = type;
  if (length > 0) UMClear();
  if (TSocketErrorEvent handler = OnError) handler(sender, Socket(), kind, lastError_);
}

void TUbexMsgSocket::Malformed() {
  lastError_ = kBadReply;
  UMClear();
}

bool TUbexMsgSocket::SendData_UMS(TObject* sender, const AnsiString& name, int length, const void* data) {
  ExclusiveUse hold(*this);
  if (!Socket()->Connected()) return false;
  lastError_ = 0;
  if (length < 0 || (length > 0 && !data) || name.size() > size_t(kLengthLimit - 8)) {
    lastError_ = kBadArgument;
    return false;
  }
  UMSendHeader(kSend, int(name.size()) + 8);
  UMSendInt(1);
  UMSendInt(length);
  UMSendLength(name.data(), int(name.size()));
  UMSendLength(data, length);
  int type = 0, replyLength = 0;
  UMRecvHeader(type, replyLength);
  if (type == 0) return true;
  Refuse(sender, eeSend, type, replyLength);
  return false;
}

int TUbexMsgSocket::NumOfData_UMS(TObject* sender) {
  ExclusiveUse hold(*this);
  if (!Socket()->Connected()) return 0;
  if (YourName.size() > size_t(kLengthLimit)) {
    lastError_ = kBadArgument;
    return 0;
  }
  UMSendHeader(kCount, int(YourName.size()));
  UMSendLength(YourName.data(), int(YourName.size()));
  int type = 0, length = 0;
  UMRecvHeader(type, length);
  if (type != 0) {
    Refuse(sender, eeGeneral, type, length);
    return 0;
  }
  int32_t count = 0;
  if (length != 4) {
    Malformed();
    return 0;
  }
  if (!UMRecvInt(count)) {
    lastError_ = kSystemError;
    return 0;
  }
  if (count < 0) {
    Malformed();
    return 0;
  }
  return std::min<int32_t>(count, kCountLimit);
}

const char* TUbexMsgSocket::RecvData_UMS(TObject* sender, long* id, int* length, char* name) {
  return ReceiveMessage(sender, id, length, name, 0, kReceive);
}

const char* TUbexMsgSocket::RecvMsg_UMS(TObject* sender, long* id, int* length, char* name, int arg) {
  return ReceiveMessage(sender, id, length, name, arg, kReceive);
}

const char* TUbexMsgSocket::ScanMsg_UMS(TObject* sender, long* id, int* length, char* name, int arg) {
  return ReceiveMessage(sender, id, length, name, arg, kScan);
}

const char* TUbexMsgSocket::ReceiveMessage(TObject* sender, long* id, int* length, char* name, int arg, int type) {
  ExclusiveUse hold(*this);
  if (!Socket()->Connected()) return nullptr;
  if (YourName.size() > size_t(kLengthLimit - 4)) {
    lastError_ = kBadArgument;
    return nullptr;
  }
  UMSendHeader(type, int(YourName.size()) + 4);
  UMSendInt(arg);
  UMSendLength(YourName.data(), int(YourName.size()));
  int replyType = 0, replyLength = 0;
  UMRecvHeader(replyType, replyLength);
  if (replyType != 0) {
    Refuse(sender, eeReceive, replyType, replyLength);
    return nullptr;
  }
  if (replyLength < 8) {
    Malformed();
    return nullptr;
  }
  int32_t messageId = 0, dataLength = 0;
  if (!UMRecvInt(messageId) || !UMRecvInt(dataLength)) {
    lastError_ = kSystemError;
    return nullptr;
  }
  // The peer states both lengths: parts longer than the buffers are refused, not cut.
  const int nameLength = replyLength - 8;
  if (nameLength > kNameLimit || dataLength < 0 || dataLength > kDataLimit) {
    Malformed();
    return nullptr;
  }
  char from[kNameLimit] = {};
  if (!UMRecvLength(from, nameLength) || !UMRecvLength(received_, dataLength)) {
    lastError_ = kSystemError;
    return nullptr;
  }
  if (id) *id = messageId;
  if (length) *length = dataLength;
  if (name) {
    const size_t used = strnlen(from, size_t(nameLength));
    std::memcpy(name, from, used);
    std::memset(name + used, 0, size_t(nameLength) - used + 1);
  }
  return received_;
}

// ---- Error texts ----

AnsiString TUbexMsgSocket::ErrMsg_UMS(int code) {
  static const char* const texts[] = {
      "",
      "引数の値に誤りがあります",
      "相手アプリケーションは立ち上がっていません",
      "処理すべきデータはありません",
      "通信内部エラー。バグ？",
      "ファイルライトエラー",
      "ファイルリードエラー",
      "ディレクトリの移動ができません",
      "ファイルオープンエラー",
      "メッセージがありません",
      "メモリが足りません",
      "ネットワーク接続に失敗しました",
      "環境変数 COMHOST にホスト名が定義されていません",
      "同一識別のアプリケーションが存在します",
      "同期型送信がタイムアウトしました",
      "環境変数 COMWAIT に時間(秒)が定義されていません",
      "すでにモニター中です",
      "設定時間内にデータが届きません",
      "システムのエラー",
      "これ以上IDを記憶できません(MAX=200)",
      "該当するメッセージは存在しません",
      "既に指定のＩＤが存在します",
  };
  constexpr int count = int(sizeof texts / sizeof texts[0]);
  if (code < 0 || code >= count) return SJ("エラーコードが範囲外です。");
  return Utf8ToSjis(texts[code]);
}
