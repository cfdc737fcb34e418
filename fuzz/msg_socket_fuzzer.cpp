// Message-server replies: a scripted message server on the loopback interface answers each frame of
// the framed-message client with the input's next reply. The input is a run of replies, each a
// two-byte length (low byte first) and that many bytes, sent as they are; when the replies run out
// the server ends the connection, and so it does when the client sends nothing for a while (the
// client waits for a reply without a time limit). The client registers, then sends, counts,
// receives and scans: whatever the replies, every call must come back, and what a receive
// returns lies within its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "fuzz/ReplyRun.h"
#include "kit/UbexMsgSocket.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "tests/support/MsgServer.h"

namespace {

constexpr int kIdleCloseMs = 10;
constexpr uint32_t kHandshakeMs = 2000;

std::mutex replies_lock;
std::deque<std::string> replies;

MsgServer::Answer Next(int, const MsgServer::Frame&) {
  std::lock_guard<std::mutex> hold(replies_lock);
  if (replies.empty()) return {{}, MsgServer::Answer::Close};
  MsgServer::Answer a{{replies.front()}};
  replies.pop_front();
  return a;
}

MsgServer& Server() {
  static MsgServer server(Next, kIdleCloseMs, false);
  return server;
}

void CheckReceived(const char* data, int length, const char* name) {
  if (!data) return;
  if (length < 0 || length > TUbexMsgSocket::kDataLimit) __builtin_trap();
  if (strnlen(name, TUbexMsgSocket::kNameLimit + 1) > size_t(TUbexMsgSocket::kNameLimit)) __builtin_trap();
  volatile char last = length > 0 ? data[length - 1] : 0;
  (void)last;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitApplication(*argc, *argv);
  Application->TestMode = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::lock_guard<std::mutex> hold(replies_lock);
    ReadReplyRun(data, size, replies);
  }
  TUbexMsgSocket client(nullptr);
  client.Host = "127.0.0.1";
  client.Port = Server().Port();
  client.MyName = "fuzz";
  client.YourName = "peer";
  bool ready = false;
  client.OnConnect = [&](TObject*, TCustomWinSocket*) { ready = true; };
  client.OnError = [](TObject*, TCustomWinSocket*, TErrorEvent, int&) {};
  client.Open();
  const uint32_t start = GetTickCount();
  while (!ready && client.Active() && GetTickCount() - start < kHandshakeMs) {
    Application->ProcessMessages();
    Sleep(1);
  }
  client.SendData_UMS(&client, "peer", 3, "abc");
  client.NumOfData_UMS(&client);
  long id = 0;
  int length = 0;
  char name[TUbexMsgSocket::kNameLimit + 1];
  const char* got = client.RecvData_UMS(&client, &id, &length, name);
  CheckReceived(got, length, name);
  got = client.ScanMsg_UMS(&client, &id, &length, name, 1);
  CheckReceived(got, length, name);
  got = client.RecvMsg_UMS(&client, &id, &length, name, 2);
  CheckReceived(got, length, name);
  TUbexMsgSocket::ErrMsg_UMS(client.ChkErr_UMS());
  client.Close();
  return 0;
}
