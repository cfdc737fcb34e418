#include "tests/support/FakeServer.h"

#include "store/Kvrvalue.h"

FakeServer::FakeServer(Script script, bool concurrent, bool keep)
    : LoopbackServer(concurrent), script_(std::move(script)), keep_(keep) {
  Start();
}

FakeServer::~FakeServer() { Stop(); }

std::vector<std::string> FakeServer::Requests() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

std::string FakeServer::Reply(std::initializer_list<AnsiString> fields) {
  TStringList list;
  for (const AnsiString& f : fields) list.Add(f);
  return ListToCommaText(list) + '\0';
}

void FakeServer::Serve(Peer& peer, int number) {
  std::string request;
  while (ReadRequest(peer, request)) {
    if (keep_) {
      std::lock_guard<std::mutex> hold(mutex_);
      requests_.push_back(request);
    }
    const Answer answer = script_(number, request);
    if (!SendAll(peer, answer.bytes) || answer.then == Answer::Close) return;
    if (answer.then == Answer::Hang) {
      WaitForClose(peer);
      return;
    }
  }
}
