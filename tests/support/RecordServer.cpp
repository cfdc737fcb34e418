#include "tests/support/RecordServer.h"

#include <memory>
#include <mutex>

#include "foundation/Jconv.h"
#include "foundation/LogForm.h"
#include "store/KvRecord.h"

namespace {

std::mutex& StoreLock() {
  static std::mutex lock;
  return lock;
}

const AnsiString& Arg(const TStrings& request, int i) {
  static const AnsiString none;
  return i < request.Count() ? request[i] : none;
}

void Set(TStrings& reply, std::initializer_list<AnsiString> fields) {
  reply.Clear();
  for (const AnsiString& f : fields) reply.Add(f);
}

AnsiString Status(bool ok) { return ok ? "OK" : "NG"; }

AnsiString Texts(const TStrings& list) { return ListToCommaText(list); }

AnsiString Numbers(const TStrings& list) {
  TStringList numbers;
  for (int i = 0; i < list.Count(); ++i) numbers.Add(IntToStr(reinterpret_cast<intptr_t>(list.Objects(i))));
  return ListToCommaText(numbers);
}

}  // namespace

RecordServer::RecordServer(const std::string& folder, const AnsiString& code) : folder_(folder), code_(code) {
  Start();
}

RecordServer::~RecordServer() { Stop(); }

void RecordServer::Serve(Peer& peer, int) {
  const bool euc = code_ == "euc";
  std::unique_ptr<CKvRecord> table(new CKvRecord);
  std::string request;
  while (ReadRequest(peer, request)) {
    TStringList fields, reply;
    CommaTextToList(euc ? EucToSjis(request.c_str()).c_str() : request.c_str(), fields);
    {
      std::lock_guard<std::mutex> hold(StoreLock());
      const bool quiet = ErrorQuiet.exchange(true);
      Answer(*table, fields, reply);
      ErrorQuiet = quiet;
    }
    const AnsiString text = ListToCommaText(reply);
    if (!SendAll(peer, (euc ? SjisToEuc(text.c_str()) : text) + '\0')) break;
  }
  std::lock_guard<std::mutex> hold(StoreLock());
  table.reset();
}

void RecordServer::Answer(CKvRecord& t, const TStrings& request, TStrings& reply) {
  const AnsiString& op = Arg(request, 0);
  const AnsiString& a1 = Arg(request, 1);
  const AnsiString& a2 = Arg(request, 2);
  const AnsiString& a3 = Arg(request, 3);
  CKvrValueList values;
  TStringList list;
  if (op == "AskCharCode") {
    Set(reply, {"OK", "0", code_});
  } else if (op == "SetFileName") {
    t.Close();
    t.SetFileName(folder_ + "/" + a1);
    Set(reply, {Status(!a1.empty()), "0"});
  } else if (op == "Open") {
    const int r = t.Open();
    Set(reply, {Status(r >= 0), IntToStr(r)});
  } else if (op == "GetColInfoList") {
    if (t.Columns())
      Set(reply, {"OK", "0", t.Columns()->ToText()});
    else
      Set(reply, {"NG", "-1"});
  } else if (op == "Close") {
    Set(reply, {"OK", IntToStr(t.Close())});
  } else if (op == "Create") {
    Set(reply, {Status(t.Create())});
  } else if (op == "AddColumn") {
    Set(reply, {Status(t.AddColumn(a1, char(StrToIntDef(a2, 0)), StrToIntDef(a3, 0)))});
  } else if (op == "Insert") {
    TStringList names, texts;
    CommaTextToList(a1.c_str(), names);
    CommaTextToList(a2.c_str(), texts);
    Set(reply, {Status(t.Insert(names, texts))});
  } else if (op == "GetRec") {
    const bool found = t.GetRec(values);
    Set(reply, {Status(found), found ? "1" : "0", found ? ValuesToCommaText(values) : ""});
  } else if (op == "GetRecNB") {
    const int r = t.GetRecNB(values);
    Set(reply, {"OK", IntToStr(r), r == 1 ? ValuesToCommaText(values) : ""});
  } else if (op == "ListCol") {
    t.ListCol(&list);
    Set(reply, {"OK", "0", Texts(list)});
  } else if (op == "ReplaceData") {
    TStringList texts;
    CommaTextToList(a1.c_str(), texts);
    Set(reply, {Status(t.MakeValueList(values, texts) > 0 && t.ReplaceData(values))});
  } else if (op == "EnumList2") {
    const bool ok = t.EnumList2(list, a1, StrToIntDef(a2, 0), nullptr);
    AnsiString flags;
    for (int i = 0; i < list.Count(); ++i) flags += list.Objects(i) ? '1' : '0';
    Set(reply, {Status(ok), "0", Texts(list), flags});
  } else if (op == "DelRecById") {
    Set(reply, {Status(t.DelRecById(a1))});
  } else if (op == "ChgRecById") {
    Set(reply, {Status(t.ChgRecById(a1, StrToIntDef(a2, -1), a3))});
  } else if (op == "ClearCond") {
    t.ClearCond();
    Set(reply, {"OK"});
  } else if (op == "AddCond") {
    t.AddCond(a1, StrToIntDef(a2, 0), a3);
    Set(reply, {"OK"});
  } else if (op == "AddCondEnd") {
    t.AddCondEnd();
    Set(reply, {"OK"});
  } else if (op == "AddEnumCol") {
    t.AddEnumCol(a1);
    Set(reply, {"OK"});
  } else if (op == "GetEnum") {
    t.GetEnum(a1, list);
    Set(reply, {"OK", "0", Texts(list)});
  } else if (op == "AddSubCond") {
    Set(reply, {Status(t.AddSubCond(a1, StrToIntDef(a2, 0), a3))});
  } else if (op == "AddSubCondEnd") {
    Set(reply, {Status(t.AddSubCondEnd())});
  } else if (op == "SetEnumCol") {
    Set(reply, {Status(t.SetEnumCol(a1, StrToIntDef(a2, 0)))});
  } else if (op == "GetEnumNB") {
    const int r = t.GetEnumNB(list);
    Set(reply, {"OK", IntToStr(r), Texts(list), Numbers(list)});
  } else if (op == "GetEnumNB_a") {
    const int r = t.GetEnumNB_a(values, list);
    Set(reply, {"OK", IntToStr(r), r >= 1 ? ValuesToCommaText(values) : "", Texts(list), Numbers(list)});
  } else if (op == "AcceptEnum_a") {
    CommaTextToList(a1.c_str(), list);
    t.AcceptEnum_a(list);
    Set(reply, {"OK"});
  } else if (op == "GetHighest" || op == "GetLeast") {
    AnsiString text;
    const bool ok = op == "GetHighest" ? t.GetHighest(a1, text) : t.GetLeast(a1, text);
    Set(reply, {Status(ok), "0", text});
  } else if (op == "WriteColInfoList") {
    const bool open = t.Columns() != nullptr;
    if (open) t.Columns()->FromText(a1);
    Set(reply, {Status(open && t.WriteColInfoList())});
  } else {
    Set(reply, {"NG"});
  }
}
