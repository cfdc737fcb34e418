// A scripted message server for the framed-message client, on the loopback interface. It serves
// one connection after another: it reads each frame the client sends (the 10-byte header, the
// counted payload and, for a send request, the data that the payload announces) and hands it to
// the script, whose answer says what to send back and what to do then. Push sends bytes of the
// test's own (a trigger byte) while the server waits for the next frame.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"

class MsgServer : public LoopbackServer {
 public:
  struct Frame {
    std::string header;  // the 10 bytes as they came
    int type = -1;
    std::string payload;  // the counted payload
    std::string data;     // a send request's message data
  };
  struct Answer {
    enum Then { Stay, Close };
    std::vector<std::string> pieces;  // sent one after another, a short pause between
    Then then = Stay;
  };
  using Script = std::function<Answer(int connection, const Frame& frame)>;

  // idleCloseMs: a connection that sends no frame for that long is closed (0: never). keep: the
  // frames are kept for Frames(); a server that answers without end (a fuzz target's) keeps none.
  explicit MsgServer(Script script, int idleCloseMs = 0, bool keep = true);
  ~MsgServer() override;

  // Every frame read so far, in order.
  std::vector<Frame> Frames() const;
  void Push(const std::string& bytes);

  // Frame parts as the client and the server write them.
  static std::string Header(int type, int length);
  static std::string Int(int32_t value);
  // A reply: its header and counted payload, then the uncounted data.
  static std::string Reply(int type, const std::string& payload = {}, const std::string& data = {});

 private:
  void Serve(Peer& peer, int number) override;
  bool ReadFrame(Peer& peer, Frame& frame);
  // Reads until peer.pending holds count bytes, sending pushed bytes meanwhile.
  bool Fill(Peer& peer, size_t count);

  Script script_;
  int idleCloseMs_;
  bool keep_;
  mutable std::mutex mutex_;
  std::vector<Frame> frames_;
  std::string pushed_;
};
