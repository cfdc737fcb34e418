// A record server for the tests and the benchmark: it serves real record tables (CKvRecord)
// under one folder over the record-server protocol on 127.0.0.1, one table per connection, and
// answers AskCharCode with the character code it was given ("sjis", or "euc": then it reads
// requests and writes replies in EUC-JP and keeps Shift_JIS in its tables).
//
// Its tables report nothing: the error box is kept quiet while a request runs (one request at a
// time in the whole process), and restored before the reply goes out, so the client's own
// messages still show.
#pragma once

#include <string>

#include "platform/Classes.h"
#include "tests/support/LoopbackServer.h"

class CKvRecord;

class RecordServer : public LoopbackServer {
 public:
  RecordServer(const std::string& folder, const AnsiString& code);
  ~RecordServer() override;

 private:
  void Serve(Peer& peer, int number) override;
  // The reply fields to one request.
  void Answer(CKvRecord& table, const TStrings& request, TStrings& reply);

  std::string folder_;
  AnsiString code_;
};
