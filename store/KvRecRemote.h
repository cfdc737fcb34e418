// CKvRecRemote: a record table that lives on a record server, reached over TCP.
//
// Table name: //host:service/path. A '\' that is a single-byte character reads as '/'. The host
// runs up to the first '/', ':' or the end; a ':' brings the service, up to the next '/' or the
// end; the text after that '/' is the path on the server. The bare name "//" means this machine;
// an empty host part stays empty (and fails to connect). The service defaults to "4460".
//
// Protocol: one conversation per object; requests and replies strictly alternate.
//
//   request  fields as one field text (ListToCommaText), then one NUL byte
//   reply    fields as one field text, then one NUL byte; nothing may follow the NUL
//   field 0  status: "OK" for success, any other text a failure
//   field 1  a number, for the operations that answer one (integer text)
//   field 2+ data, each itself a field text
//
// With the character code "euc" (the server's answer to AskCharCode, and also what a server that
// does not answer it with OK is taken to use) both directions travel in EUC-JP.
//
// Bounds (KvrRemoteLimits): each wait for the socket, a whole exchange, a connection attempt and
// the length of a reply are limited. An exchange that breaks any of them, or whose connection
// ends or falls out of step, fails with a message, and the connection is dropped, so that no late
// reply is ever read as the answer to a later request; the next operation connects again.
// A reply that arrives whole but has too few fields or the wrong status makes its operation fail
// without a message.
//
// Results are those of CKvRecord. Operations the server does not offer (DelFile, GetIdByKey, and
// the whole-table walks CopyTo, AppendTo and ReIndex, which need the file itself) answer false or
// -1 and send nothing; the other operations of CKvRecord not overridden here run its own code.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>

#include "platform/Socket.h"
#include "store/KvRecord.h"

// Time and size bounds of the record-server client, process-wide.
struct KvrRemoteLimits {
  int WaitMs = 5000;                // one wait for the socket to take or give bytes
  int ExchangeMs = 30000;           // a request and its whole reply
  int ConnectMs = 5000;             // a connection attempt
  size_t ReplyBytes = 256u << 20;   // the longest reply taken
};
// Installs new bounds and answers the former ones. Set them while no exchange runs.
KvrRemoteLimits SetKvrRemoteLimits(const KvrRemoteLimits& limits);

class CKvRecRemote : public CKvRecord {
 public:
  static constexpr const char* kDefaultService = "4460";

  // Owns its socket (none until the first Open or Create). It keeps the column list of the open
  // table but no record buffer: records arrive as texts.
  CKvRecRemote();
  ~CKvRecRemote() override;

  void SetFileName(const AnsiString& name) override;
  int Open() override;
  int Close() override;
  bool Create() override;
  bool OpenOrCreate() override;
  bool DelFile() override;
  bool AddColumn(const AnsiString& name, char type, int length) override;
  bool Insert(const TStrings& names, const TStrings& texts) override;
  bool GetRec(CKvrValueList& values) override;
  int GetRecNB(CKvrValueList& values) override;
  TStrings* ListCol(TStrings* list) override;
  bool ReplaceData(CKvrValueList& values) override;
  bool EnumList2(TStrings& list, const AnsiString& column, int cut, KvrEnumProgress progress) override;
  bool DelRecById(const AnsiString& id) override;
  bool ChgRecById(const AnsiString& id, int column, const AnsiString& text) override;
  bool GetIdByKey(const AnsiString& column, const AnsiString& text, unsigned& number) override;
  void ClearCond() override;
  void AddCond(const AnsiString& column, int op, const AnsiString& text) override;
  void AddCondEnd() override;
  void AddEnumCol(const AnsiString& column) override;
  void GetEnum(const AnsiString& column, TStrings& list) override;
  bool AddSubCond(const AnsiString& column, int op, const AnsiString& text) override;
  bool AddSubCondEnd() override;
  bool SetEnumCol(const AnsiString& column, int cut) override;
  int GetEnumNB(TStrings& list) override;
  int CopyTo(const AnsiString& target) override;
  int AppendTo(const AnsiString& target) override;
  int GetEnumNB_a(CKvrValueList& values, TStrings& list) override;
  void AcceptEnum_a(const TStrings& list) override;
  bool GetHighest(const AnsiString& column, AnsiString& text) override;
  bool GetLeast(const AnsiString& column, AnsiString& text) override;
  bool WriteColInfoList() override;
  int ReIndex(KvrProgress progress, void* context) override;

  const AnsiString& Host() const { return Host_; }
  const AnsiString& Service() const { return Service_; }
  const AnsiString& Path() const { return Path_; }
  // The server's character code as it answered (empty before the first Open).
  const AnsiString& CharCode() const { return CharCode_; }
  bool Connected() const { return Socket_ != nullptr; }

 private:
  // A live connection: the present one, unless its peer has ended it or sent bytes nobody asked
  // for (then it is dropped), else a new one. False after reporting why none could be made.
  bool Ready();
  void DropIfStale();
  bool Connect();
  void Disconnect();
  // Sends one request and reads its whole reply into `reply` (emptied first). False when no whole
  // reply arrived; the connection is then gone.
  bool Call(std::initializer_list<AnsiString> request, TStrings& reply);
  bool Exchange(const AnsiString& request, AnsiString& reply);
  // Drops the connection after a failed exchange and shows why; false.
  bool Fail(const AnsiString& message);
  // Open, with the message of a failed open shown or left to the caller. `refused` (when given)
  // tells whether the server answered "Open" itself with a negative number.
  int OpenTable(bool report, bool* refused);
  // Fills `values` with one value per column from the field text of a record.
  bool FillValues(CKvrValueList& values, const AnsiString& text) const;
  // The operations whose reply is only judged by its status and field count.
  bool Request(std::initializer_list<AnsiString> request, int fields = 1);
  // The operations that answer a text in field 2.
  bool AskText(std::initializer_list<AnsiString> request, AnsiString& text);

  AnsiString Host_;
  AnsiString Service_ = kDefaultService;
  AnsiString Path_;
  AnsiString CharCode_;
  std::unique_ptr<TTcpClient> Socket_;  // null while not connected
};
