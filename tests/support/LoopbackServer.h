// A TCP server on 127.0.0.1 for the record-server tests: it listens on a port the system picks,
// accepts on a thread of its own and serves each connection on a thread of its own, or, when
// made so, one connection after another on the accepting thread (no thread per connection, for
// callers that connect many times in a row). Requests are read up to their NUL byte. Stop
// (called by the derived class's destructor) ends every connection and waits for all threads.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "platform/AnsiString.h"

class LoopbackServer {
 public:
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  virtual ~LoopbackServer();

  int Port() const { return port_; }
  // A table name on this server: "//127.0.0.1:port/path".
  AnsiString TableName(const AnsiString& path) const;
  // Connections accepted so far.
  int Connections() const { return connections_.load(); }

 protected:
  explicit LoopbackServer(bool concurrent = true);
  // Listens and starts accepting; false when no port could be had.
  bool Start();
  void Stop();
  bool Stopping() const { return stopping_.load(); }

  // One accepted connection: its socket and the bytes read past the last request.
  struct Peer {
    int fd = -1;
    std::string pending;
  };
  // Serves one connection until it ends; runs on the connection's own thread. number counts the
  // connections from 1.
  virtual void Serve(Peer& peer, int number) = 0;
  // One request without its NUL; false when the peer ended or the server stops first.
  bool ReadRequest(Peer& peer, std::string& request);
  bool SendAll(Peer& peer, const std::string& bytes);
  // Waits until the peer closes (or the server stops), reading and dropping what it sends.
  void WaitForClose(Peer& peer);

 private:
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void AcceptLoop();
  void ReapFinished();

  bool concurrent_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  std::list<std::unique_ptr<Worker>> workers_;  // touched by the accepting thread only until Stop
};
