// The record-server client: table names, the connection, the exchange and the 31 operations that
// travel as requests.
#include "store/KvRecRemote.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "foundation/Jconv.h"
#include "foundation/LogForm.h"

namespace {

KvrRemoteLimits& Limits() {
  static KvrRemoteLimits limits;
  return limits;
}

constexpr size_t kPiece = 1024;  // bytes taken from the socket at a time

const AnsiString kOK = "OK";
const AnsiString kEuc = "euc";

// Field i of a reply; the empty text when the reply is shorter.
const AnsiString& FieldOf(const TStrings& reply, int i) {
  static const AnsiString none;
  return i < reply.Count() ? reply[i] : none;
}

bool IsOk(const TStrings& reply, int fields) { return reply.Count() >= fields && reply[0] == kOK; }

// Field i as a number; -1 when it is missing or no integer text.
int NumberOf(const TStrings& reply, int i) {
  int n = -1;
  return i < reply.Count() && TryStrToInt(reply[i], n) ? n : -1;
}

// The object an enumeration hands back with each text.
void* Flag(intptr_t n) { return reinterpret_cast<void*>(n); }

using Clock = std::chrono::steady_clock;

// Milliseconds of the next wait: the per-wait bound, cut to what is left of the exchange; 0 when
// the exchange's time is up.
int NextWait(Clock::time_point deadline, int waitMs) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return int(std::min<long long>(left, waitMs));
}

const AnsiString& NoAnswer() { return SJ("レコードサーバーから応答がありません。"); }
const AnsiString& Broken() { return SJ("レコードサーバーとの接続が切れました。"); }
const AnsiString& TooLong() { return SJ("レコードサーバーの応答が長すぎます。"); }
const AnsiString& OutOfStep() { return SJ("レコードサーバーの応答が正しくありません。"); }

}  // namespace

KvrRemoteLimits SetKvrRemoteLimits(const KvrRemoteLimits& limits) {
  const KvrRemoteLimits former = Limits();
  Limits() = limits;
  return former;
}

// ---- Object and name ---------------------------------------------------------------------------

CKvRecRemote::CKvRecRemote() {
  delete RecBuf_;
  RecBuf_ = nullptr;
}

CKvRecRemote::~CKvRecRemote() { Disconnect(); }

void CKvRecRemote::SetFileName(const AnsiString& name) {
  FileName_ = name;
  AnsiString n = name;
  for (size_t i = 0; i < n.size(); ++i) {
    if (IsSjisLeadByte(uint8_t(n[i])) && i + 1 < n.size())
      ++i;
    else if (n[i] == '\\')
      n[i] = '/';
  }
  AnsiString host, service = kDefaultService, path;
  if (n.size() <= 2) {
    host = LocalHostName();
  } else {
    size_t at = n.find_first_of("/:", 2);
    host = n.substr(2, at == AnsiString::npos ? AnsiString::npos : at - 2);
    if (at != AnsiString::npos && n[at] == ':') {
      const size_t end = n.find('/', at + 1);
      service = n.substr(at + 1, end == AnsiString::npos ? AnsiString::npos : end - at - 1);
      at = end;
    }
    if (at != AnsiString::npos) path = n.substr(at + 1);
  }
  if (Socket_ && (host != Host_ || service != Service_)) Disconnect();
  Host_ = host;
  Service_ = service;
  Path_ = path;
}

// ---- Connection --------------------------------------------------------------------------------

bool CKvRecRemote::Connect() {
  Disconnect();
  if (Host_.empty()) {
    ReportError("%s", SJ("ホスト名の指定されていません。").c_str());
    return false;
  }
  uint32_t address = 0;
  if (!ResolveHostAddress(Host_, address)) {
    ReportError(SJ("ホスト '%s' が解決できません。").c_str(), Host_.c_str());
    return false;
  }
  uint16_t port = 0;
  if (!ResolveServicePort(Service_, port)) {
    ReportError(SJ("サービス名 '%s' が解決できません。").c_str(), Service_.c_str());
    return false;
  }
  auto socket = std::make_unique<TTcpClient>();
  if (!socket->Open()) {
    ReportError("%s", SJ("ソケットが作成できません。").c_str());
    return false;
  }
  if (!socket->Connect(address, port, Limits().ConnectMs)) {
    ReportError("%s", SJ("コネクトできません。").c_str());
    return false;
  }
  Socket_ = std::move(socket);
  return true;
}

void CKvRecRemote::Disconnect() {
  if (!Socket_) return;
  Socket_->Shutdown();
  Socket_.reset();
}

void CKvRecRemote::DropIfStale() {
  // Between exchanges a live conversation is silent: anything to read means the server has gone
  // or spoken out of turn.
  if (Socket_ && Socket_->WaitReadable(0) != TTcpClient::tcpTimedOut) Disconnect();
}

bool CKvRecRemote::Ready() {
  DropIfStale();
  return Socket_ || Connect();
}

bool CKvRecRemote::Fail(const AnsiString& message) {
  Disconnect();
  ReportError("%s", message.c_str());
  return false;
}

// ---- Exchange ----------------------------------------------------------------------------------

bool CKvRecRemote::Exchange(const AnsiString& request, AnsiString& reply) {
  if (!Socket_) return false;
  const KvrRemoteLimits limits = Limits();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.ExchangeMs);
  AnsiString out = CharCode_ == kEuc ? SjisToEuc(request.c_str()) : request;
  out.push_back('\0');
  // The socket is asked to take the bytes first and waited for only when it cannot.
  for (size_t sent = 0; sent < out.size();) {
    const long n = Socket_->Send(out.data() + sent, out.size() - sent);
    if (n > 0) {
      sent += size_t(n);
      continue;
    }
    if (n != TTcpClient::tcpAgain) return Fail(Broken());
    const int wait = NextWait(deadline, limits.WaitMs);
    const int ready = wait > 0 ? Socket_->WaitWritable(wait) : TTcpClient::tcpTimedOut;
    if (ready == TTcpClient::tcpTimedOut) return Fail(NoAnswer());
    if (ready != TTcpClient::tcpReady) return Fail(Broken());
  }
  AnsiString in;
  char piece[kPiece];
  for (;;) {
    const int wait = NextWait(deadline, limits.WaitMs);
    const int ready = wait > 0 ? Socket_->WaitReadable(wait) : TTcpClient::tcpTimedOut;
    if (ready == TTcpClient::tcpTimedOut) return Fail(NoAnswer());
    if (ready != TTcpClient::tcpReady) return Fail(Broken());
    const long n = Socket_->Receive(piece, sizeof piece);
    if (n == TTcpClient::tcpAgain) continue;
    if (n <= 0) return Fail(Broken());
    const char* end = static_cast<const char*>(std::memchr(piece, '\0', size_t(n)));
    const size_t take = end ? size_t(end - piece) : size_t(n);
    if (in.size() + take > limits.ReplyBytes) return Fail(TooLong());
    in.append(piece, take);
    if (!end) continue;
    // The server may send one reply per request and nothing after it.
    if (end != piece + n - 1) return Fail(OutOfStep());
    break;
  }
  reply = CharCode_ == kEuc ? EucToSjis(in.c_str()) : in;
  return true;
}

bool CKvRecRemote::Call(std::initializer_list<AnsiString> request, TStrings& reply) {
  reply.Clear();
  TStringList fields;
  for (const AnsiString& f : request) fields.Add(f);
  const AnsiString text = ListToCommaText(fields);
  // A NUL would end the request early and leave its rest to be read as the next one.
  if (text.find('\0') != AnsiString::npos) return false;
  AnsiString answer;
  if (!Exchange(text, answer)) return false;
  CommaTextToList(answer.c_str(), reply);
  return true;
}

bool CKvRecRemote::Request(std::initializer_list<AnsiString> request, int fields) {
  TStringList reply;
  return Ready() && Call(request, reply) && IsOk(reply, fields);
}

bool CKvRecRemote::FillValues(CKvrValueList& values, const AnsiString& text) const {
  if (!Cols_) return false;
  TStringList texts;
  CommaTextToList(text.c_str(), texts);
  values.ClearValues();
  for (int i = 0; i < Cols_->Count(); ++i) {
    auto* v = new CKvrValue(Cols_->GetAt(i)->Type);
    if (i < texts.Count()) v->SetText(texts[i].c_str());
    values.Add(v);
  }
  return true;
}

// ---- Life cycle --------------------------------------------------------------------------------

int CKvRecRemote::Open() { return OpenTable(true, nullptr); }

int CKvRecRemote::OpenTable(bool report, bool* refused) {
  if (refused) *refused = false;
  if (!Ready()) return -1;
  TStringList reply;
  CharCode_ = Call({"AskCharCode"}, reply) && IsOk(reply, 3) ? reply[2] : kEuc;
  EucOrder_ = CharCode_ == kEuc;
  int r = -1;
  if (Call({"SetFileName", Path_}, reply) && IsOk(reply, 1)) {
    const bool answered = Call({"Open"}, reply);
    r = answered ? NumberOf(reply, 1) : -1;
    if (refused) *refused = answered && r < 0;
    if (r >= 0) {
      r = Call({"GetColInfoList"}, reply) && reply.Count() >= 3 ? NumberOf(reply, 1) : -1;
      if (r >= 0) {
        if (!Cols_) Cols_ = new CKvrColInfoList;
        Cols_->FromText(reply[2]);
      } else {
        Close();
      }
    }
  }
  if (r < 0 && report) ReportError(SJ("ファイル %s がオープンできません。").c_str(), FileName_.c_str());
  return r;
}

int CKvRecRemote::Close() {
  // A table on a connection that has ended is closed already; nothing connects just to say so.
  DropIfStale();
  TStringList reply;
  const int r = Call({"Close"}, reply) ? NumberOf(reply, 1) : -1;
  delete Cols_;
  Cols_ = nullptr;
  return r;
}

bool CKvRecRemote::Create() { return Request({"Create"}); }

bool CKvRecRemote::OpenOrCreate() {
  // A table that is not there yet is expected here: its failed open is no news to the user
  // unless it cannot be made either. A table made here is opened, as the caller expects.
  // Only the server's refusal of "Open" itself says the table may be missing; after any other
  // failed step the table may well exist, and making it anew would overwrite it.
  bool refused = false;
  if (OpenTable(false, &refused) >= 0) return true;
  if (!Socket_) return false;
  if (refused && Create()) return OpenTable(true, nullptr) >= 0;
  ReportError(SJ("ファイル %s がオープンできません。").c_str(), FileName_.c_str());
  return false;
}

bool CKvRecRemote::DelFile() { return false; }

// ---- Columns and records -----------------------------------------------------------------------

bool CKvRecRemote::AddColumn(const AnsiString& name, char type, int length) {
  return Request({"AddColumn", name, IntToStr(type), IntToStr(length)});
}

bool CKvRecRemote::Insert(const TStrings& names, const TStrings& texts) {
  return Request({"Insert", ListToCommaText(names), ListToCommaText(texts)});
}

bool CKvRecRemote::GetRec(CKvrValueList& values) {
  TStringList reply;
  return Ready() && Call({"GetRec"}, reply) && IsOk(reply, 3) && FillValues(values, reply[2]);
}

int CKvRecRemote::GetRecNB(CKvrValueList& values) {
  TStringList reply;
  if (!Ready() || !Call({"GetRecNB"}, reply) || !IsOk(reply, 3)) return -1;
  const int r = NumberOf(reply, 1);
  if (r == 1 && !FillValues(values, reply[2])) return -1;
  return r;
}

TStrings* CKvRecRemote::ListCol(TStrings* list) {
  if (!list) list = new TStringList;
  TStringList reply;
  if (Ready() && Call({"ListCol"}, reply) && reply.Count() >= 3) CommaTextToList(reply[2].c_str(), *list);
  return list;
}

bool CKvRecRemote::ReplaceData(CKvrValueList& values) { return Request({"ReplaceData", ValuesToCommaText(values)}); }

bool CKvRecRemote::DelRecById(const AnsiString& id) { return Request({"DelRecById", id}); }

bool CKvRecRemote::ChgRecById(const AnsiString& id, int column, const AnsiString& text) {
  return Request({"ChgRecById", id, IntToStr(column), text});
}

bool CKvRecRemote::GetIdByKey(const AnsiString&, const AnsiString&, unsigned&) { return false; }

bool CKvRecRemote::WriteColInfoList() {
  // Without a column list there is nothing to write, and an empty one would take the server's.
  return Cols_ && Request({"WriteColInfoList", Cols_->ToText()});
}

// ---- Conditions --------------------------------------------------------------------------------

void CKvRecRemote::ClearCond() { Request({"ClearCond"}); }

void CKvRecRemote::AddCond(const AnsiString& column, int op, const AnsiString& text) {
  Request({"AddCond", column, IntToStr(op), text});
}

void CKvRecRemote::AddCondEnd() { Request({"AddCondEnd"}); }

void CKvRecRemote::AddEnumCol(const AnsiString& column) { Request({"AddEnumCol", column}); }

bool CKvRecRemote::AddSubCond(const AnsiString& column, int op, const AnsiString& text) {
  return Request({"AddSubCond", column, IntToStr(op), text});
}

bool CKvRecRemote::AddSubCondEnd() { return Request({"AddSubCondEnd"}); }

// ---- Distinct values ---------------------------------------------------------------------------

bool CKvRecRemote::EnumList2(TStrings& list, const AnsiString& column, int cut, KvrEnumProgress) {
  TStringList reply;
  if (!Ready() || !Call({"EnumList2", column, IntToStr(cut)}, reply) || !IsOk(reply, 3)) return false;
  TStringList texts;
  CommaTextToList(reply[2].c_str(), texts);
  const AnsiString& flags = FieldOf(reply, 3);
  for (int i = 0; i < texts.Count(); ++i)
    list.AddObject(texts[i], Flag(size_t(i) < flags.size() && flags[size_t(i)] != '0' ? 1 : 0));
  return true;
}

void CKvRecRemote::GetEnum(const AnsiString& column, TStrings& list) {
  TStringList reply;
  if (Ready() && Call({"GetEnum", column}, reply) && IsOk(reply, 3)) CommaTextToList(reply[2].c_str(), list);
}

bool CKvRecRemote::SetEnumCol(const AnsiString& column, int cut) {
  return Request({"SetEnumCol", column, IntToStr(cut)});
}

namespace {

// Adds the texts of one field text to the list, each with the number at its position in the
// other field text as object (0 when that is missing or no number).
void AddNumbered(TStrings& list, const AnsiString& textsField, const AnsiString& numbersField) {
  TStringList texts, numbers;
  CommaTextToList(textsField.c_str(), texts);
  CommaTextToList(numbersField.c_str(), numbers);
  for (int i = 0; i < texts.Count(); ++i) {
    int n = 0;
    if (i >= numbers.Count() || !TryStrToInt(numbers[i], n)) n = 0;
    list.AddObject(texts[i], Flag(n));
  }
}

}  // namespace

int CKvRecRemote::GetEnumNB(TStrings& list) {
  TStringList reply;
  if (!Ready() || !Call({"GetEnumNB"}, reply) || !IsOk(reply, 4)) return -1;
  const int r = NumberOf(reply, 1);
  if (r >= 1) AddNumbered(list, reply[2], reply[3]);
  return r;
}

int CKvRecRemote::GetEnumNB_a(CKvrValueList& values, TStrings& list) {
  TStringList reply;
  if (!Ready() || !Call({"GetEnumNB_a"}, reply) || !IsOk(reply, 5)) return -1;
  const int r = NumberOf(reply, 1);
  if (r >= 1) {
    if (!FillValues(values, reply[2])) return -1;
    AddNumbered(list, reply[3], reply[4]);
  }
  return r;
}

void CKvRecRemote::AcceptEnum_a(const TStrings& list) { Request({"AcceptEnum_a", ListToCommaText(list)}); }

// ---- Column lookups ----------------------------------------------------------------------------

bool CKvRecRemote::GetHighest(const AnsiString& column, AnsiString& text) {
  return AskText({"GetHighest", column}, text);
}

bool CKvRecRemote::GetLeast(const AnsiString& column, AnsiString& text) { return AskText({"GetLeast", column}, text); }

bool CKvRecRemote::AskText(std::initializer_list<AnsiString> request, AnsiString& text) {
  TStringList reply;
  if (!Ready() || !Call(request, reply) || !IsOk(reply, 3)) return false;
  text = reply[2];
  return true;
}

// ---- Whole-table walks -------------------------------------------------------------------------

int CKvRecRemote::CopyTo(const AnsiString&) { return -1; }

int CKvRecRemote::AppendTo(const AnsiString&) { return -1; }

int CKvRecRemote::ReIndex(KvrProgress, void*) { return -1; }
