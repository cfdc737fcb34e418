// The record-server client against a scripted server: table names, the bytes of requests and
// replies in both character codes, the open sequence, and every way an exchange can fail.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/Jconv.h"
#include "store/CondOp.h"
#include "store/KvRecRemote.h"
#include "tests/store/KvRecordTestSupport.h"
#include "tests/support/FakeServer.h"

namespace {

using Answer = FakeServer::Answer;
using Strs = std::vector<AnsiString>;

// Short bounds, so that the waits of these tests stay short, yet long enough for a busy machine.
class ShortLimits {
 public:
  ShortLimits() : saved_(SetKvrRemoteLimits({1000, 4000, 1000, 4096})) {}
  ~ShortLimits() { SetKvrRemoteLimits(saved_); }

 private:
  KvrRemoteLimits saved_;
};

Strs Fields(const std::string& text) {
  TStringList list;
  CommaTextToList(text.c_str(), list);
  Strs out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

const AnsiString& ColumnText() {
  static const AnsiString text = [] {
    CKvrColInfoList cols;
    CKvrColInfo* id = cols.AddNew();
    id->Name = kvrRecIdName;
    id->KeyLength = 4;
    id->Type = kvrUnsigned;
    id->KeyNumber = kvrKeyBody;
    CKvrColInfo* name = cols.AddNew();
    name->Name = SJ("名前");
    name->KeyLength = 20;
    name->Type = kvrString;
    name->KeyNumber = kvrKeyString;
    return cols.ToText();
  }();
  return text;
}

// A server that opens the table in the given code and hands every other request to `rest`
// (whose requests are in Shift_JIS); a request `rest` does not know gets "NG".
FakeServer::Script Serving(const AnsiString& code, std::function<Answer(int, const Strs&)> rest = nullptr) {
  return [code, rest](int connection, const std::string& raw) -> Answer {
    const Strs f = Fields(code == "euc" ? EucToSjis(raw.c_str()) : raw);
    const AnsiString op = f.empty() ? AnsiString() : f[0];
    auto reply = [&](std::initializer_list<AnsiString> fields) {
      const std::string bytes = FakeServer::Reply(fields);
      return Answer{code == "euc" ? SjisToEuc(bytes.c_str()) + '\0' : bytes};
    };
    if (op == "AskCharCode") return reply({"OK", "0", code});
    if (op == "SetFileName" || op == "Create") return reply({"OK"});
    if (op == "Open" || op == "Close") return reply({"OK", "0"});
    if (op == "GetColInfoList") return reply({"OK", "0", ColumnText()});
    if (rest) return rest(connection, f);
    return reply({"NG"});
  };
}

// A listener that accepts nothing and whose queue is already full.
class FullListener {
 public:
  FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    EXPECT_EQ(::listen(listener_, 0), 0);
    EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length), 0);
    port_ = ntohs(at.sin_port);
    for (int& fd : fillers_) {
      fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~FullListener() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  int fillers_[3] = {-1, -1, -1};
};

class RemoteTest : public ::testing::Test {
 protected:
  // Makes the server and an opened client table on it.
  void Open(FakeServer::Script script) {
    server_ = std::make_unique<FakeServer>(std::move(script));
    t_.SetFileName(server_->TableName("dir/t.kvr"));
    ASSERT_EQ(t_.Open(), 0);
  }
  Strs Requests() const {
    Strs out;
    for (const std::string& r : server_->Requests()) out.push_back(r);
    return out;
  }

  ShortLimits limits_;
  MessageCatcher box_;
  std::unique_ptr<FakeServer> server_;
  CKvRecRemote t_;
};

TEST(KvRecRemoteName, SplitsHostServiceAndPath) {
  const struct {
    AnsiString name, host, service, path;
  } cases[] = {
      {"//srv/tables/a.kvr", "srv", "4460", "tables/a.kvr"},
      {"//srv:5000\\dir\\t.kvr", "srv", "5000", "dir/t.kvr"},
      {"//srv", "srv", "4460", ""},
      {"//srv:", "srv", "", ""},
      {"//:4460/x", "", "4460", "x"},
      {"\\\\srv\\x", "srv", "4460", "x"},
      // The trail byte 0x5C of a double-byte character is no separator.
      {"//srv/" + SJ("表") + "\\a", "srv", "4460", SJ("表") + "/a"},
      {"//", LocalHostName(), "4460", ""},
  };
  for (const auto& c : cases) {
    CKvRecRemote t;
    t.SetFileName(c.name);
    EXPECT_EQ(t.FileName(), c.name);
    EXPECT_EQ(t.Host(), c.host) << Show(c.name);
    EXPECT_EQ(t.Service(), c.service) << Show(c.name);
    EXPECT_EQ(t.Path(), c.path) << Show(c.name);
  }
}

TEST_F(RemoteTest, RequestsAndRepliesTravelAsFieldTextsInEucJp) {
  Open(Serving("euc", [](int, const Strs& f) -> Answer {
    if (f[0] == "GetRec") return {SjisToEuc(FakeServer::Reply({"OK", "1", SJ("7,\"名前, ｶﾅ\"")}).c_str()) + '\0'};
    return {SjisToEuc(FakeServer::Reply({"OK"}).c_str()) + '\0'};
  }));
  EXPECT_EQ(t_.CharCode(), "euc");
  // Local comparisons of this table order texts as the server's EUC-JP indexes do.
  CKvrValue katakana, kanji;
  katakana.SetText(SJ("ｱ").c_str());
  kanji.SetText(SJ("亜").c_str());
  EXPECT_TRUE(t_.MatchOp(&katakana, COND_LES, &kanji));
  t_.AddCond(SJ("名前"), COND_EQL, SJ("表 \"ｱ\""));
  CKvrValueList values;
  ASSERT_TRUE(t_.GetRec(values));
  ASSERT_EQ(values.Count(), 2);
  EXPECT_EQ(values.GetAt(0)->GetUnsigned(), 7u);
  EXPECT_EQ(values.GetAt(1)->GetText(), SJ("名前, ｶﾅ"));
  const std::vector<std::string> raw = server_->Requests();
  ASSERT_EQ(raw.size(), 6u);
  EXPECT_EQ(raw[0], "AskCharCode");
  EXPECT_EQ(raw[1], "SetFileName,dir/t.kvr");
  EXPECT_EQ(raw[2], "Open");
  EXPECT_EQ(raw[3], "GetColInfoList");
  EXPECT_EQ(raw[4], SjisToEuc(SJ("AddCond,名前,6,\"表 \"\"ｱ\"\"\"").c_str()));
  EXPECT_EQ(raw[5], "GetRec");
}

TEST_F(RemoteTest, EachOperationSendsItsFields) {
  Open(Serving("sjis", [](int, const Strs& f) -> Answer {
    if (f[0] == "GetHighest") return {FakeServer::Reply({"OK", "0", "z"})};
    if (f[0] == "EnumList2") return {FakeServer::Reply({"OK", "0", "a,b,c", "010"})};
    if (f[0] == "GetEnumNB") return {FakeServer::Reply({"OK", "1", "a,b", "1,x"})};
    if (f[0] == "GetEnumNB_a") return {FakeServer::Reply({"OK", "2", "9,q", "q", "1"})};
    if (f[0] == "ListCol") return {FakeServer::Reply({"NG", "0", "a,b"})};
    return {FakeServer::Reply({"OK"})};
  }));
  EXPECT_EQ(t_.CharCode(), "sjis");
  std::unique_ptr<TStrings> names(Texts({"a", "b c"}));
  std::unique_ptr<TStrings> texts(Texts({"1", ""}));
  EXPECT_TRUE(t_.AddColumn("n", kvrSigned, 0));
  EXPECT_TRUE(t_.Insert(*names, *texts));
  EXPECT_TRUE(t_.DelRecById("12"));
  EXPECT_TRUE(t_.ChgRecById("12", 1, "x,y"));
  t_.ClearCond();
  t_.AddEnumCol("a");
  t_.AddCondEnd();
  EXPECT_TRUE(t_.AddSubCond("a", COND_LIKE, "%"));
  EXPECT_TRUE(t_.AddSubCondEnd());
  EXPECT_TRUE(t_.SetEnumCol("a", 3));
  TStringList list;
  t_.AcceptEnum_a(*names);
  AnsiString text;
  EXPECT_TRUE(t_.GetHighest("a", text));
  EXPECT_EQ(text, "z");
  ASSERT_TRUE(t_.EnumList2(list, "a", 2, nullptr));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Objects(0), nullptr);
  EXPECT_NE(list.Objects(1), nullptr);
  EXPECT_EQ(list.Objects(2), nullptr);
  list.Clear();
  EXPECT_EQ(t_.GetEnumNB(list), 1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(reinterpret_cast<intptr_t>(list.Objects(0)), 1);
  EXPECT_EQ(list.Objects(1), nullptr);  // not a number
  list.Clear();
  CKvrValueList values;
  EXPECT_EQ(t_.GetEnumNB_a(values, list), 2);
  EXPECT_EQ(values.GetAt(1)->GetText(), "q");
  EXPECT_EQ(list[0], "q");
  // ListCol appends field 2 whatever the status says.
  list.Clear();
  t_.ListCol(&list);
  EXPECT_EQ(list.Count(), 2);
  t_.GetEnum("a", list);
  EXPECT_EQ(t_.GetRecNB(values), -1);  // a reply of one field
  EXPECT_FALSE(t_.GetLeast("b", text));
  CKvrValueList record;
  record.Add(new CKvrValue(7u));
  record.Add(new CKvrValue("a b", 3));
  EXPECT_TRUE(t_.ReplaceData(record));
  EXPECT_TRUE(t_.WriteColInfoList());
  EXPECT_EQ(t_.Close(), 0);
  EXPECT_EQ(t_.Columns(), nullptr);

  const Strs all = Requests();
  const Strs sent(all.begin() + 4, all.end());
  EXPECT_EQ(sent, (Strs{"AddColumn,n,1,0", "Insert,\"a,\"\"b c\"\"\",\"1,\"", "DelRecById,12", "ChgRecById,12,1,\"x,y\"",
                        "ClearCond", "AddEnumCol,a", "AddCondEnd", "AddSubCond,a,10,%", "AddSubCondEnd",
                        "SetEnumCol,a,3", "AcceptEnum_a,\"a,\"\"b c\"\"\"", "GetHighest,a", "EnumList2,a,2", "GetEnumNB",
                        "GetEnumNB_a", "ListCol", "GetEnum,a", "GetRecNB", "GetLeast,b",
                        "ReplaceData,\"7,\"\"a b\"\"\"",
                        "WriteColInfoList,\"\"\"__REC__ID__,4,2,2,0,,\"\",\"\"" + SJ("名前") + ",20,3,7,0,,\"\"\"",
                        "Close"}));
  // Nothing is sent for what the server does not offer.
  unsigned number = 0;
  EXPECT_FALSE(t_.DelFile());
  EXPECT_FALSE(t_.GetIdByKey("a", "1", number));
  EXPECT_EQ(t_.CopyTo("/tmp/x"), -1);
  EXPECT_EQ(t_.ReIndex(nullptr, nullptr), -1);
  // A NUL inside a request would end it early: such a request is not sent.
  EXPECT_FALSE(t_.DelRecById(AnsiString("1\0 2", 4)));
  EXPECT_EQ(Requests().size(), sent.size() + 4);
  EXPECT_TRUE(box_.texts.empty());
  CKvrValue katakana, kanji;
  katakana.SetText(SJ("ｱ").c_str());
  kanji.SetText(SJ("亜").c_str());
  EXPECT_FALSE(t_.MatchOp(&katakana, COND_LES, &kanji));  // byte order
}

TEST_F(RemoteTest, OpenSequenceAndItsFailures) {
  // A server that will not say its code with OK is taken to speak EUC-JP.
  for (const char* answer : {"NG,0,sjis", "OK,0", "OK"}) {
    FakeServer odd([&](int c, const std::string& raw) -> Answer {
      if (raw == "AskCharCode") return {std::string(answer) + '\0'};
      return Serving("euc")(c, raw);
    });
    CKvRecRemote t;
    t.SetFileName(odd.TableName("t"));
    EXPECT_EQ(t.Open(), 0) << answer;
    EXPECT_EQ(t.CharCode(), "euc") << answer;
  }

  // An open that the server refuses is reported and not closed; a failed column list is closed.
  const struct {
    const char* failing;
    std::string reply;
    bool closes;
  } cases[] = {
      {"SetFileName", FakeServer::Reply({"NG"}), false},
      {"Open", FakeServer::Reply({"OK", "-1"}), false},
      {"Open", FakeServer::Reply({"OK", "x"}), false},
      {"GetColInfoList", FakeServer::Reply({"NG", "-1"}), true},
      {"GetColInfoList", FakeServer::Reply({"OK", "0"}), true},
  };
  for (const auto& c : cases) {
    FakeServer server([&](int n, const std::string& raw) -> Answer {
      if (Fields(raw)[0] == c.failing) return {c.reply};
      return Serving("sjis")(n, raw);
    });
    CKvRecRemote t;
    t.SetFileName(server.TableName("t.kvr"));
    box_.texts.clear();
    EXPECT_EQ(t.Open(), -1) << c.failing << " " << c.reply;
    EXPECT_EQ(box_.Last(), Format(SJ("ファイル %s がオープンできません。").c_str(), t.FileName().c_str()));
    EXPECT_EQ(server.Requests().back() == "Close", c.closes) << c.failing;
    EXPECT_EQ(t.Columns(), nullptr);
  }
}

TEST_F(RemoteTest, OpenOrCreateMakesAMissingTableWithoutAnOpenMessage) {
  int opens = 0;
  FakeServer server([&](int n, const std::string& raw) -> Answer {
    if (raw == "Open" && ++opens == 1) return {FakeServer::Reply({"NG", "-1"})};
    return Serving("sjis")(n, raw);
  });
  CKvRecRemote t;
  t.SetFileName(server.TableName("new.kvr"));
  box_.texts.clear();
  ASSERT_TRUE(t.OpenOrCreate());
  EXPECT_TRUE(box_.texts.empty());
  ASSERT_NE(t.Columns(), nullptr);  // opened after it was made
  EXPECT_EQ(t.Columns()->Count(), 2);
  const std::vector<std::string> opening = {"AskCharCode", "SetFileName,new.kvr", "Open"};
  std::vector<std::string> expected = opening;
  expected.push_back("Create");
  expected.insert(expected.end(), opening.begin(), opening.end());
  expected.push_back("GetColInfoList");
  EXPECT_EQ(server.Requests(), expected);

  FakeServer refusing([&](int n, const std::string& raw) -> Answer {
    if (raw == "Open" || raw == "Create") return {FakeServer::Reply({"NG", "-1"})};
    return Serving("sjis")(n, raw);
  });
  CKvRecRemote u;
  u.SetFileName(refusing.TableName("new.kvr"));
  EXPECT_FALSE(u.OpenOrCreate());
  EXPECT_EQ(box_.texts.size(), 1u);
}

TEST_F(RemoteTest, OpenOrCreateMakesNothingWhenTheServerDidNotRefuseTheOpen) {
  // A table the server opened (but whose columns it did not give), or a name it did not take,
  // is no missing table: making one there would overwrite a table on the server.
  for (const char* failing : {"SetFileName", "GetColInfoList"}) {
    FakeServer server([&](int n, const std::string& raw) -> Answer {
      if (Fields(raw)[0] == failing) return {FakeServer::Reply({"NG", "-1"})};
      return Serving("sjis")(n, raw);
    });
    CKvRecRemote t;
    t.SetFileName(server.TableName("old.kvr"));
    box_.texts.clear();
    EXPECT_FALSE(t.OpenOrCreate()) << failing;
    for (const std::string& r : server.Requests()) EXPECT_NE(r, "Create") << failing;
    EXPECT_EQ(box_.texts, (std::vector<AnsiString>{Format(SJ("ファイル %s がオープンできません。").c_str(), t.FileName().c_str())}))
        << failing;
  }
}

TEST_F(RemoteTest, ACopyOntoAServerTableFailsInsteadOfReadingAMissingColumnList) {
  // The server takes the new table and its columns; the client has no column list of it until it
  // opens the table, so the copy cannot carry the column options over and must stop there.
  FakeServer server(Serving("sjis", [](int, const Strs& f) -> Answer {
    if (f[0] == "AddColumn") return {FakeServer::Reply({"OK"})};
    return {FakeServer::Reply({"NG"})};
  }));
  TempDir dir;
  CKvRecord source;
  source.SetFileName(dir.File("src.kvr").c_str());
  ASSERT_TRUE(source.AddColumn(SJ("名前"), kvrString, 20));
  EXPECT_EQ(source.CopyTo(server.TableName("copy.kvr")), -1);
}

TEST_F(RemoteTest, ShortOrMalformedRepliesFailTheOperationAndKeepTheConversation) {
  std::string next;
  Open(Serving("sjis", [&](int, const Strs& f) -> Answer {
    if (f[0] == "GetHighest") return {FakeServer::Reply({"OK", "0", "fine"})};
    return {next};
  }));
  const std::string replies[] = {
      std::string(1, '\0'),           // no fields at all
      FakeServer::Reply({"OK", "1"}),  // a field short
      FakeServer::Reply({"NG", "1", "5,a"}),
      FakeServer::Reply({"ok", "1", "5,a"}),
      std::string("\xFF\xFE\x80,\"\x81", 6) + '\0',
  };
  for (const std::string& r : replies) {
    next = r;
    CKvrValueList values;
    EXPECT_FALSE(t_.GetRec(values));
    EXPECT_EQ(t_.GetRecNB(values), -1);
    TStringList list;
    EXPECT_EQ(t_.GetEnumNB(list), -1);
    EXPECT_EQ(t_.GetEnumNB_a(values, list), -1);
    EXPECT_FALSE(t_.EnumList2(list, "a", 0, nullptr));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(t_.Connected());
  }
  // OK with 0 records: the values stay as they were.
  next = FakeServer::Reply({"OK", "0", "1,a"});
  CKvrValueList values;
  values.Add(new CKvrValue(99u));
  EXPECT_EQ(t_.GetRecNB(values), 0);
  ASSERT_EQ(values.Count(), 1);
  EXPECT_EQ(values.GetAt(0)->GetUnsigned(), 99u);
  AnsiString text;
  EXPECT_TRUE(t_.GetHighest("a", text));
  EXPECT_EQ(text, "fine");
  EXPECT_EQ(server_->Connections(), 1);
  EXPECT_TRUE(box_.texts.empty());
}

TEST_F(RemoteTest, ABrokenExchangeDropsTheConnectionWithAMessageAndTheNextOperationConnectsAgain) {
  const struct {
    const char* what;
    Answer answer;
    AnsiString message;
  } cases[] = {
      {"closes mid-reply", {"OK,0,\"hal", Answer::Close}, SJ("レコードサーバーとの接続が切れました。")},
      {"closes without a reply", {"", Answer::Close}, SJ("レコードサーバーとの接続が切れました。")},
      {"never ends its reply", {"OK,0,\"hal", Answer::Hang}, SJ("レコードサーバーから応答がありません。")},
      {"never answers", {"", Answer::Hang}, SJ("レコードサーバーから応答がありません。")},
      {"answers twice", {FakeServer::Reply({"OK", "0", "a"}) + FakeServer::Reply({"OK"})},
       SJ("レコードサーバーの応答が正しくありません。")},
      {"answers without end", {std::string(5000, 'x'), Answer::Hang}, SJ("レコードサーバーの応答が長すぎます。")},
  };
  for (const auto& c : cases) {
    // The first GetHighest of each connection gets the case's answer, later ones a good reply.
    Open(Serving("sjis", [&](int connection, const Strs& f) -> Answer {
      if (f[0] != "GetHighest") return {FakeServer::Reply({"NG"})};
      if (connection == 1) return c.answer;
      return {FakeServer::Reply({"OK", "0", "fresh"})};
    }));
    box_.texts.clear();
    AnsiString text;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t_.GetHighest("a", text)) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.what;
    EXPECT_EQ(box_.Last(), c.message) << c.what;
    EXPECT_FALSE(t_.Connected()) << c.what;
    EXPECT_TRUE(t_.GetHighest("a", text)) << c.what;
    EXPECT_EQ(text, "fresh") << c.what;
    EXPECT_EQ(server_->Connections(), 2) << c.what;
    EXPECT_EQ(box_.texts.size(), 1u) << c.what;
  }
}

TEST_F(RemoteTest, SignalsDoNotStretchAWait) {
  // A process whose timers or children signal it often: each interrupted wait goes on for what is
  // left of it, not for the whole wait again.
  Open(Serving("sjis", [](int, const Strs&) -> Answer { return {"", Answer::Hang}; }));
  struct sigaction quiet {}, saved{};
  quiet.sa_handler = [](int) {};
  sigemptyset(&quiet.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &saved), 0);
  const pthread_t client = ::pthread_self();
  std::atomic<bool> done{false};
  std::thread nagger([&] {
    // Bounded, so that a wait that restarts with every signal fails the test instead of hanging it.
    for (int i = 0; i < 60 && !done.load(); ++i) {
      ::pthread_kill(client, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  AnsiString text;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(t_.GetHighest("a", text));
  const auto took = std::chrono::steady_clock::now() - start;
  done = true;
  nagger.join();
  ::sigaction(SIGUSR1, &saved, nullptr);
  // One wait is 1 s here; the whole exchange may take 4 s.
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_EQ(box_.Last(), SJ("レコードサーバーから応答がありません。"));
}

TEST_F(RemoteTest, ALateReplyNeverAnswersALaterRequest) {
  // The first answer comes after the client has stopped waiting; the same conversation would
  // otherwise hand it to the next request.
  Open(Serving("sjis", [&](int connection, const Strs& f) -> Answer {
    if (connection == 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      return {FakeServer::Reply({"OK", "0", "late"})};
    }
    return {FakeServer::Reply({"OK", "0", "fresh " + f[0]})};
  }));
  AnsiString text;
  EXPECT_FALSE(t_.GetHighest("a", text));
  EXPECT_TRUE(t_.GetLeast("a", text));
  EXPECT_EQ(text, "fresh GetLeast");
  EXPECT_EQ(t_.Open(), 0);  // the open sequence runs again on the new connection
  EXPECT_TRUE(t_.GetLeast("a", text));
  EXPECT_EQ(text, "fresh GetLeast");
}

TEST_F(RemoteTest, ConnectionFailuresAreReported) {
  // A port with nothing behind it: the listener is gone before the client comes.
  int freePort = 0;
  {
    FakeServer gone(Serving("sjis"));
    freePort = gone.Port();
  }
  FullListener full;
  const struct {
    AnsiString name, message;
  } cases[] = {
      {"//:4460/x", SJ("ホスト名の指定されていません。")},
      {"//127.0.0.1:no-such-service-here/x", SJ("サービス名 'no-such-service-here' が解決できません。")},
      {"//127.0.0.1:70000/x", SJ("サービス名 '70000' が解決できません。")},
      {"//127.0.0.1:" + IntToStr(freePort) + "/x", SJ("コネクトできません。")},
      // A listener whose queue is full lets an attempt wait: it ends within its bound.
      {"//127.0.0.1:" + IntToStr(full.Port()) + "/x", SJ("コネクトできません。")},
  };
  for (const auto& c : cases) {
    CKvRecRemote t;
    t.SetFileName(c.name);
    box_.texts.clear();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.Open(), -1) << Show(c.name);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << Show(c.name);
    EXPECT_EQ(box_.texts, (std::vector<AnsiString>{c.message})) << Show(c.name);
    EXPECT_FALSE(t.Create());
  }
}

TEST_F(RemoteTest, AnotherHostOrServiceEndsTheConnection) {
  Open(Serving("sjis"));
  t_.SetFileName(server_->TableName("other.kvr"));
  EXPECT_TRUE(t_.Connected());
  EXPECT_EQ(t_.Path(), "other.kvr");
  t_.SetFileName("//localhost:" + IntToStr(server_->Port()) + "/other.kvr");
  EXPECT_FALSE(t_.Connected());
  EXPECT_EQ(t_.Open(), 0);
  EXPECT_EQ(server_->Connections(), 2);
}

}  // namespace
