#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "kit/UbexMsgSocket.h"
#include "platform/SysUtils.h"
#include "tests/support/MsgServer.h"
#include "tests/support/TestSupport.h"

namespace {

using Frame = MsgServer::Frame;
using Answer = MsgServer::Answer;
using Requests = std::function<Answer(const Frame&)>;

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

// A port on the loopback interface where nothing listens.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
  ::close(fd);
  return ntohs(at.sin_port);
}

// Lets the event loop run for a while, for checks that something did not happen.
void Pump(int ms) { PumpUntil([] { return false; }, ms); }

class MsgSocketTest : public ::testing::Test {
 protected:
  MsgSocketTest() {
    client.Host = "127.0.0.1";
    client.OnConnect = [this](TObject*, TCustomWinSocket*) { ++connects; };
    client.OnRead = [this](TObject*, TCustomWinSocket*) {
      ++reads;
      if (onRead) onRead();
    };
    client.OnError = [this](TObject*, TCustomWinSocket*, TErrorEvent kind, int& code) { errors.emplace_back(kind, code); };
  }

  // The server answers the handshake with success and hands every other frame to requests.
  void Serve(Requests requests, int idleCloseMs = 0) {
    server = std::make_unique<MsgServer>(
        [requests](int, const Frame& f) -> Answer {
          if (f.type == 0 || f.type == 5) return {{MsgServer::Reply(0)}};
          return requests ? requests(f) : Answer{};
        },
        idleCloseMs);
    client.Port = server->Port();
  }
  // Opens the client and waits for the end of the handshake.
  bool Connect() {
    client.Open();
    return PumpUntil([&] { return connects > 0 || !client.Active(); }) && connects == 1;
  }
  std::vector<Frame> Requested() {
    std::vector<Frame> frames = server->Frames();
    frames.erase(frames.begin(), frames.begin() + std::min<size_t>(2, frames.size()));
    return frames;
  }

  std::unique_ptr<MsgServer> server;
  TUbexMsgSocket client{nullptr};
  int connects = 0, reads = 0;
  std::function<void()> onRead;
  std::vector<std::pair<TErrorEvent, int>> errors;
};

using ErrorList = std::vector<std::pair<TErrorEvent, int>>;

TEST_F(MsgSocketTest, HandshakeRegistersTheFirstTwentyBytesOfMyNameAndAcknowledges) {
  Serve(nullptr);
  client.MyName = "ABCDEFGHIJKLMNOPQRSTUVWXY";
  ASSERT_TRUE(Connect());
  const std::vector<Frame> frames = server->Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].header, Bytes("\x0b\x00" "48\0\0\0\0\0\0", 10));
  EXPECT_EQ(frames[0].payload, std::string(24, '\0') + "ABCDEFGHIJKLMNOPQRST" + std::string(4, '\0'));
  EXPECT_EQ(frames[1].header, Bytes("\x0b\x05" "4\0\0\0\0\0\0\0", 10));
  EXPECT_EQ(frames[1].payload, MsgServer::Int(1));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(client.ChkErr_UMS(), 0);
}

TEST_F(MsgSocketTest, RefusedRegistrationClosesTheConnection) {
  // An error type is the server's refusal; a success carrying bytes is no proper answer either.
  const std::vector<std::pair<std::string, int>> cases = {{MsgServer::Reply(13), 13},
                                                           {MsgServer::Reply(0, "abc"), 4}};
  for (const auto& [reply, code] : cases) {
    SCOPED_TRACE(code);
    errors.clear();
    server = std::make_unique<MsgServer>([reply = reply](int, const Frame&) { return Answer{{reply}}; });
    client.Port = server->Port();
    client.Open();
    ASSERT_TRUE(PumpUntil([&] { return !client.Active(); }));
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(errors, (ErrorList{{eeConnect, code}}));
    EXPECT_EQ(client.ChkErr_UMS(), code);
    EXPECT_EQ(server->Frames().size(), 1u);  // no acknowledgement
  }
}

TEST_F(MsgSocketTest, SendCarriesNameAndDataAndReportsARefusal) {
  Serve([](const Frame& f) -> Answer {
    if (f.type == 4 && f.payload.substr(8) == "nobody") return {{MsgServer::Reply(2, "xx")}};
    if (f.type == 2) return {{MsgServer::Reply(0, MsgServer::Int(1))}};
    return {{MsgServer::Reply(0)}};
  });
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(client.SendData_UMS(&client, "peer", 5, "hello"));
  std::vector<Frame> sent = Requested();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].header, Bytes("\x0b\x04" "12\0\0\0\0\0\0", 10));
  EXPECT_EQ(sent[0].payload, MsgServer::Int(1) + MsgServer::Int(5) + "peer");
  EXPECT_EQ(sent[0].data, "hello");
  EXPECT_TRUE(errors.empty());

  EXPECT_FALSE(client.SendData_UMS(&client, "nobody", 0, nullptr));
  EXPECT_EQ(client.ChkErr_UMS(), 2);
  EXPECT_EQ(errors, (ErrorList{{eeSend, 2}}));
  // The refusal's payload was drained: the next reply is read from its start.
  EXPECT_EQ(client.NumOfData_UMS(&client), 1);

  // Arguments that would put a false length on the wire are refused before anything is sent.
  EXPECT_FALSE(client.SendData_UMS(&client, "peer", -1, "x"));
  EXPECT_EQ(client.ChkErr_UMS(), 1);
  EXPECT_FALSE(client.SendData_UMS(&client, "peer", 4, nullptr));
  EXPECT_EQ(Requested().size(), 3u);
}

TEST_F(MsgSocketTest, CountRepliesAndTheirFailures) {
  // The partner name picks the server's reply.
  const std::map<std::string, std::string> replies = {
      {"five", MsgServer::Reply(0, MsgServer::Int(5))},
      {"many", MsgServer::Reply(0, MsgServer::Int(40000))},
      {"short", MsgServer::Reply(0, "ab")},
      {"negative", MsgServer::Reply(0, MsgServer::Int(-3))},
      {"refused", MsgServer::Reply(9, "zzz")},
  };
  Serve([replies](const Frame& f) { return Answer{{replies.at(f.payload)}}; });
  ASSERT_TRUE(Connect());
  struct Case {
    const char* name;
    int count, lastError;
    ErrorList errors;
  };
  const Case cases[] = {
      {"five", 5, 0, {}},
      {"many", 32767, 0, {}},
      {"short", 0, 4, {}},
      {"negative", 0, 4, {}},
      {"refused", 0, 9, {{eeGeneral, 9}}},
      {"five", 5, 9, {}},  // success leaves the last error alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    errors.clear();
    client.YourName = c.name;
    EXPECT_EQ(client.NumOfData_UMS(&client), c.count);
    EXPECT_EQ(client.ChkErr_UMS(), c.lastError);
    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(Requested().back().header.substr(0, 2), "\x0b\x02");
  }
}

TEST_F(MsgSocketTest, ReceiveAndScanReturnTheMessage) {
  Serve([](const Frame& f) {
    const int arg = MsgServer::Int(0) == f.payload.substr(0, 4) ? 0 : 1;
    const std::string name = arg ? Bytes("ab\0cd", 5) : "sender";
    return Answer{{MsgServer::Reply(0, MsgServer::Int(77 + f.type) + MsgServer::Int(3) + name, "xyz")}};
  });
  ASSERT_TRUE(Connect());
  client.YourName = "me";
  long id = 0;
  int length = 0;
  char name[TUbexMsgSocket::kNameLimit + 1];
  std::memset(name, 'X', sizeof name);
  const char* data = client.RecvData_UMS(&client, &id, &length, name);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, 3), "xyz");
  EXPECT_EQ(id, 85);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(std::string(name, 8), Bytes("sender\0X", 8));

  // A zero byte inside the name ends it; the rest of its place is zeroed.
  std::memset(name, 'X', sizeof name);
  ASSERT_NE(client.ScanMsg_UMS(&client, &id, &length, name, 5), nullptr);
  EXPECT_EQ(id, 84);
  EXPECT_EQ(std::string(name, 7), Bytes("ab\0\0\0\0X", 7));
  ASSERT_NE(client.RecvMsg_UMS(&client, &id, &length, nullptr, 2), nullptr);
  EXPECT_EQ(id, 85);

  const std::vector<Frame> sent = Requested();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].header, Bytes("\x0b\x08" "6\0\0\0\0\0\0\0", 10));
  EXPECT_EQ(sent[0].payload, MsgServer::Int(0) + "me");
  EXPECT_EQ(sent[1].type, 7);
  EXPECT_EQ(sent[1].payload, MsgServer::Int(5) + "me");
  EXPECT_EQ(sent[2].type, 8);
  EXPECT_EQ(sent[2].payload, MsgServer::Int(2) + "me");
  EXPECT_TRUE(errors.empty());
}

TEST_F(MsgSocketTest, MalformedReceiveRepliesAreRefusedAndTheNextRequestWorks) {
  // The partner name picks the reply; "ok" answers a good one.
  const std::string head = MsgServer::Int(1);
  const std::map<std::string, std::string> replies = {
      {"ok", MsgServer::Reply(0, head + MsgServer::Int(2) + "s", "hi")},
      {"longname", MsgServer::Reply(0, head + MsgServer::Int(0) + std::string(100, 'n'))},
      {"longdata", MsgServer::Reply(0, head + MsgServer::Int(5000) + "s", std::string(5000, '\x0b'))},
      {"negative", MsgServer::Reply(0, head + MsgServer::Int(-1) + "s")},
      {"short", MsgServer::Reply(0, "12345")},
      {"refused", MsgServer::Reply(20, "why")},
  };
  Serve([replies](const Frame& f) { return Answer{{replies.at(f.payload.substr(4))}}; });
  ASSERT_TRUE(Connect());
  for (const char* bad : {"longname", "longdata", "negative", "short", "refused"}) {
    SCOPED_TRACE(bad);
    errors.clear();
    long id = 0;
    int length = 0;
    client.YourName = bad;
    EXPECT_EQ(client.RecvData_UMS(&client, &id, &length, nullptr), nullptr);
    const bool refused = std::strcmp(bad, "refused") == 0;
    EXPECT_EQ(client.ChkErr_UMS(), refused ? 20 : 4);
    EXPECT_EQ(errors, (refused ? ErrorList{{eeReceive, 20}} : ErrorList{}));
    client.YourName = "ok";
    const char* data = client.RecvData_UMS(&client, &id, &length, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, size_t(length)), "hi");
  }
}

TEST_F(MsgSocketTest, RepliesSplitOverPiecesOrJoinedWithATrigger) {
  const std::string reply = MsgServer::Reply(0, MsgServer::Int(9) + MsgServer::Int(4) + "from", "data");
  Serve([reply](const Frame& f) -> Answer {
    if (f.type == 8) return {{"zz", reply.substr(0, 3), reply.substr(3, 9), reply.substr(12)}};
    return {{"\x01\x07" + MsgServer::Reply(0, MsgServer::Int(6)) + "\x01"}};
  });
  ASSERT_TRUE(Connect());
  long id = 0;
  int length = 0;
  char name[TUbexMsgSocket::kNameLimit + 1];
  // Bytes in front of the header are skipped; the pieces are waited for.
  const char* data = client.RecvData_UMS(&client, &id, &length, name);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, 4), "data");
  EXPECT_STREQ(name, "from");
  EXPECT_EQ(id, 9);
  // The trigger behind the reply is left for the event loop.
  EXPECT_EQ(client.NumOfData_UMS(&client), 6);
  EXPECT_EQ(reads, 0);
  EXPECT_TRUE(PumpUntil([&] { return reads == 1; }));
  Pump(50);
  EXPECT_EQ(reads, 1);
}

TEST_F(MsgSocketTest, TriggerByteCallsOnReadWhoseHandlerMayRequest) {
  Serve([](const Frame&) { return Answer{{MsgServer::Reply(0, MsgServer::Int(2))}}; });
  ASSERT_TRUE(Connect());
  int counted = -1;
  onRead = [&] { counted = client.NumOfData_UMS(&client); };
  server->Push("\x07");
  Pump(100);
  EXPECT_EQ(reads, 0);
  server->Push("\x01");
  ASSERT_TRUE(PumpUntil([&] { return reads == 1; }));
  EXPECT_EQ(counted, 2);
  // Two triggers at once: each calls OnRead, unless a request in between drops what is pending.
  server->Push("\x01\x01");
  ASSERT_TRUE(PumpUntil([&] { return reads == 2; }));
  Pump(50);
  EXPECT_EQ(reads, 2);
  onRead = nullptr;
  server->Push("\x01\x01");
  EXPECT_TRUE(PumpUntil([&] { return reads == 4; }));
}

TEST_F(MsgSocketTest, PeerCloseEndsAWaitingRequest) {
  // The server goes without a reply, or in the middle of one.
  Serve([](const Frame& f) -> Answer {
    if (f.type == 2) return {{}, Answer::Close};
    return {{"\x0b\x00" "1"}, Answer::Close};
  });
  ASSERT_TRUE(Connect());
  EXPECT_EQ(client.NumOfData_UMS(&client), 0);
  EXPECT_EQ(client.ChkErr_UMS(), 18);
  EXPECT_EQ(errors, (ErrorList{{eeGeneral, 18}}));
  EXPECT_FALSE(client.Active());

  errors.clear();
  connects = 0;
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(client.SendData_UMS(&client, "x", 1, "y"));
  EXPECT_EQ(client.ChkErr_UMS(), 18);
  EXPECT_EQ(errors, (ErrorList{{eeSend, 18}}));
}

TEST_F(MsgSocketTest, PeerCloseWhileIdleDisconnects) {
  Serve(nullptr, 100);
  int disconnects = 0;
  client.TClientSocket::OnDisconnect = [&](TObject*, TCustomWinSocket*) { ++disconnects; };
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(PumpUntil([&] { return !client.Active(); }));
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(errors.empty());
}

TEST_F(MsgSocketTest, RefusedConnectionReportsANetworkFailure) {
  client.Port = ClosedPort();
  client.Open();
  ASSERT_TRUE(PumpUntil([&] { return !client.Active(); }));
  EXPECT_EQ(errors, (ErrorList{{eeConnect, 11}}));
  EXPECT_EQ(connects, 0);
  EXPECT_EQ(TUbexMsgSocket::ErrMsg_UMS(errors[0].second), SJ("ネットワーク接続に失敗しました"));
}

TEST_F(MsgSocketTest, RequestsOnAnInactiveSocketSendNothing) {
  Serve([](const Frame&) { return Answer{{MsgServer::Reply(0, MsgServer::Int(1))}}; });
  long id = 0;
  int length = 0;
  const auto tryAll = [&] {
    EXPECT_FALSE(client.SendData_UMS(&client, "a", 1, "b"));
    EXPECT_EQ(client.NumOfData_UMS(&client), 0);
    EXPECT_EQ(client.RecvData_UMS(&client, &id, &length, nullptr), nullptr);
    EXPECT_EQ(client.ScanMsg_UMS(&client, &id, &length, nullptr, 1), nullptr);
  };
  tryAll();
  ASSERT_TRUE(Connect());
  client.Close();
  tryAll();
  Pump(50);
  EXPECT_EQ(server->Frames().size(), 2u);
  EXPECT_TRUE(errors.empty());
}

TEST(MsgSocket, ErrorTexts) {
  const std::pair<int, const char*> cases[] = {
      {0, ""},
      {1, "引数の値に誤りがあります"},
      {11, "ネットワーク接続に失敗しました"},
      {21, "既に指定のＩＤが存在します"},
      {22, "エラーコードが範囲外です。"},
      {-1, "エラーコードが範囲外です。"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(TUbexMsgSocket::ErrMsg_UMS(code), Utf8ToSjis(text)) << code;
}

}  // namespace
