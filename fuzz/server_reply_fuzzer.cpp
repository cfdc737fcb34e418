// Record-server replies: a scripted server on the loopback interface answers each request of a
// client table with the input's next reply. The input is a run of replies, each a two-byte length
// (low byte first) and that many bytes, sent as they are: a reply without a NUL is followed by the
// end of the connection, and when the replies run out the server ends the connection too. The
// client opens the table and runs every operation that reads reply data; whatever the replies,
// it must come back, and a record it accepts has one value per column.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>

#include "fuzz/ReplyRun.h"
#include "foundation/LogForm.h"
#include "store/KvRecRemote.h"
#include "tests/support/FakeServer.h"

namespace {

std::mutex replies_lock;
std::deque<std::string> replies;

FakeServer::Answer Next(int, const std::string&) {
  std::lock_guard<std::mutex> hold(replies_lock);
  if (replies.empty()) return {std::string(), FakeServer::Answer::Close};
  FakeServer::Answer a{replies.front()};
  replies.pop_front();
  if (a.bytes.find('\0') == std::string::npos) a.then = FakeServer::Answer::Close;
  return a;
}

FakeServer& Server() {
  static FakeServer server(Next, false, false);
  return server;
}

void CheckRecord(const CKvRecRemote& t, const CKvrValueList& values) {
  if (!t.Columns() || values.Count() != t.Columns()->Count()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ErrorQuiet = true;
  SetKvrRemoteLimits({2000, 10000, 2000, 2048});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::lock_guard<std::mutex> hold(replies_lock);
    ReadReplyRun(data, size, replies);
  }
  CKvRecRemote t;
  t.SetFileName(Server().TableName("t.kvr"));
  t.Open();
  CKvrValueList values;
  if (t.GetRec(values)) CheckRecord(t, values);
  if (t.GetRecNB(values) == 1) CheckRecord(t, values);
  TStringList list;
  t.EnumList2(list, "a", 2, nullptr);
  t.GetEnum("a", list);
  t.GetEnumNB(list);
  if (t.GetEnumNB_a(values, list) >= 1) CheckRecord(t, values);
  AnsiString text;
  t.GetHighest("a", text);
  t.GetLeast("a", text);
  t.ListCol(&list);
  t.Close();
  t.OpenOrCreate();
  return 0;
}
