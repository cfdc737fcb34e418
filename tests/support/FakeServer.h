// A scripted record server for the client's failures: every request it reads (without its NUL)
// goes to the script, whose answer says which bytes to send and what to do after them: wait for
// the next request, close the connection, or hang (read nothing more and never answer) until the
// client goes.
#pragma once

#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"

class FakeServer : public LoopbackServer {
 public:
  struct Answer {
    enum Then { Stay, Close, Hang };
    std::string bytes;  // sent as they are; a whole reply ends with its NUL
    Then then = Stay;
  };
  // Called on the connection's thread with the connection's number (from 1).
  using Script = std::function<Answer(int connection, const std::string& request)>;

  // concurrent: a thread per connection; else one connection after another. keep: the requests
  // are kept for Requests(); a server that answers without end (a fuzz target's) keeps none.
  explicit FakeServer(Script script, bool concurrent = true, bool keep = true);
  ~FakeServer() override;

  // Every request read so far, in order of arrival (none when they are not kept).
  std::vector<std::string> Requests() const;

  // A whole reply of the given fields: their field text and a NUL.
  static std::string Reply(std::initializer_list<AnsiString> fields);

 private:
  void Serve(Peer& peer, int number) override;

  Script script_;
  bool keep_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};
