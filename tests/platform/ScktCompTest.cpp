#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/ScktComp.h"
#include "platform/SysUtils.h"
#include "tests/support/TestSupport.h"

namespace {

// A listening socket on the loopback interface; the test accepts and talks on its own thread.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length);
    port_ = ntohs(at.sin_port);
  }
  ~Listener() {
    DropPeer();
    ::close(fd_);
  }
  int Port() const { return port_; }
  // The client's connection, once the client has connected.
  int Accept() { return peer_ = ::accept(fd_, nullptr, nullptr); }
  void Send(const std::string& bytes) { ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
  std::string Receive() {
    char piece[256];
    const ssize_t n = ::recv(peer_, piece, sizeof piece, 0);
    return n > 0 ? std::string(piece, size_t(n)) : std::string();
  }
  // Closes the connection; reset sends a reset instead of an orderly end.
  void DropPeer(bool reset = false) {
    if (peer_ < 0) return;
    if (reset) {
      linger now{1, 0};
      ::setsockopt(peer_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    ::close(peer_);
    peer_ = -1;
  }

 private:
  int fd_ = -1, peer_ = -1, port_ = 0;
};

using Events = std::vector<std::string>;

class ClientSocketTest : public ::testing::Test {
 protected:
  ClientSocketTest() {
    client.Host = "127.0.0.1";
    client.OnConnect = [this](TObject* sender, TCustomWinSocket* s) {
      EXPECT_EQ(sender, &client);
      EXPECT_EQ(s, client.Socket());
      events.push_back("connect");
    };
    client.OnDisconnect = [this](TObject*, TCustomWinSocket*) { events.push_back("disconnect"); };
    client.OnRead = [this](TObject*, TCustomWinSocket*) { events.push_back("read"); };
    client.OnError = [this](TObject*, TCustomWinSocket*, TErrorEvent kind, int& code) {
      events.push_back("error " + std::to_string(kind) + " " + std::to_string(code));
      code = 0;
    };
  }
  bool Connect() {
    client.Port = listener.Port();
    client.Open();
    return PumpUntil([&] { return !events.empty(); }) && events == Events{"connect"} && listener.Accept() >= 0;
  }

  Listener listener;
  TClientSocket client{nullptr};
  Events events;
};

TEST_F(ClientSocketTest, ConnectsAndMovesBytesBothWays) {
  EXPECT_FALSE(client.Socket()->Connected());
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(client.Active());
  EXPECT_TRUE(client.Socket()->Connected());
  EXPECT_EQ(client.Socket()->SendBuf("ping", 4), 4);
  EXPECT_EQ(listener.Receive(), "ping");
  char buf[16];
  EXPECT_EQ(client.Socket()->ReceiveBuf(buf, sizeof buf), 0);  // nothing waits: no blocking
  listener.Send("pong");
  ASSERT_TRUE(client.Socket()->WaitForData(2000));
  EXPECT_EQ(client.Socket()->ReceiveBuf(buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "pong");
}

TEST_F(ClientSocketTest, ReadEventWaitsForTheBytesToBeRead) {
  ASSERT_TRUE(Connect());
  listener.Send("ab");
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
  // The handler left the bytes: no further event until a read.
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ(events, (Events{"connect", "read"}));
  char one;
  EXPECT_EQ(client.Socket()->ReceiveBuf(&one, 1), 1);
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 3; }));
  EXPECT_EQ(client.Socket()->ReceiveBuf(&one, 1), 1);
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ(events, (Events{"connect", "read", "read"}));
}

TEST_F(ClientSocketTest, PeerEndDisconnects) {
  ASSERT_TRUE(Connect());
  listener.DropPeer();
  ASSERT_TRUE(PumpUntil([&] { return !client.Active(); }));
  EXPECT_EQ(events, (Events{"connect", "disconnect"}));
  EXPECT_FALSE(client.Socket()->Connected());
  EXPECT_EQ(client.Socket()->SendBuf("x", 1), -1);
}

TEST_F(ClientSocketTest, AReadThatFindsTheEndClosesAtOnce) {
  ASSERT_TRUE(Connect());
  listener.DropPeer();
  ASSERT_TRUE(client.Socket()->WaitForData(2000));
  char buf[4];
  EXPECT_EQ(client.Socket()->ReceiveBuf(buf, sizeof buf), 0);
  EXPECT_FALSE(client.Socket()->Connected());
  EXPECT_FALSE(client.Active());
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
  EXPECT_EQ(events.back(), "disconnect");
}

TEST_F(ClientSocketTest, ASendToAResetPeerReportsTheErrorBeforeItReturns) {
  ASSERT_TRUE(Connect());
  listener.DropPeer(true);
  Sleep(50);
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = client.Socket()->SendBuf("x", 1);
  EXPECT_EQ(result, -1);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[1] == "error 1 " + std::to_string(ECONNRESET) || events[1] == "error 1 " + std::to_string(EPIPE))
      << events[1];
  EXPECT_FALSE(client.Active());
}

TEST_F(ClientSocketTest, FailedConnectionsReportTheirKind) {
  const int closedPort = [] {
    Listener gone;
    return gone.Port();
  }();
  struct Case {
    const char *host, *service;
    int port;
    std::string event;
  };
  const Case cases[] = {
      {"127.0.0.1", "", closedPort, "error 3 " + std::to_string(ECONNREFUSED)},
      {"", "", closedPort, "error 6 " + std::to_string(EHOSTUNREACH)},
      {"127.0.0.1", "no-such-service", 0, "error 6 " + std::to_string(EINVAL)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    events.clear();
    client.Host = c.host;
    client.Service = c.service;
    client.Port = c.port;
    client.Open();
    EXPECT_TRUE(client.Active());  // the outcome comes from the event loop
    ASSERT_TRUE(PumpUntil([&] { return !client.Active(); }));
    EXPECT_EQ(events, Events{c.event});
  }
}

TEST_F(ClientSocketTest, CloseDropsTheEventsOfTheOldConnection) {
  client.Host = "";
  client.Open();
  client.Close();
  PumpUntil([] { return false; }, 50);
  EXPECT_TRUE(events.empty());
}

}  // namespace
