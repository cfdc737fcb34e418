// Condition walks and enumerations over damaged record tables. A sound table (current layout, or
// the older one when the first byte is odd) gets a few records of every column type; then the
// input's records overwrite or join the file's records: each is a key number byte, a two-byte
// length and that many bytes. The table is reopened and every column is queried with every kind
// of comparison, read blocking and in bounded steps, and enumerated. A walk must end: one that
// hands out more records than a bound far above the file's size aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/LogForm.h"
#include "fuzz/TempFolder.h"
#include "platform/SysUtils.h"
#include "store/CondOp.h"
#include "store/KvRecord.h"

namespace {

constexpr int kBound = 20000;

const std::string& Folder() { return TempFolder("cw-query-fuzz"); }

// Older-layout tables come from an object whose version is below 110.
class OlderTable : public CKvRecord {
 public:
  OlderTable() { Version_ = 0; }
};

void Build(CKvRecord& t) {
  static const struct {
    const char* name;
    char type;
  } columns[] = {{"n", kvrSigned}, {"u", kvrUnsigned}, {"r", kvrReal}, {"s", kvrString}, {"set", kvrSet}};
  for (const auto& c : columns) t.AddColumn(c.name, c.type, 20);
  static const char* const rows[][5] = {{"1", "7", "1.5", "abc", "x,y"},
                                        {"-2", "7", "0", "abd", ""},
                                        {"5", "0", "-3", "", "y"},
                                        {"1", "9", "2", "abcdefghijklmnopqrstuvwxyz", "z,x"}};
  TStringList names, texts;
  for (const auto& c : columns) names.Add(c.name);
  for (const auto& row : rows) {
    texts.Clear();
    for (const char* v : row) texts.Add(v);
    t.Insert(names, texts);
  }
}

void Check(bool ended) {
  if (!ended) std::abort();  // a walk that does not end
}

void Query(CKvRecord& t) {
  std::unique_ptr<TStrings> names(t.ListCol(nullptr));
  static const int ops[] = {COND_LES, COND_LES_EQL, COND_EQL, COND_GRT_EQL, COND_GRT, COND_NOT_EQL,
                            COND_LIKE, COND_NOT_LIKE, COND_ALL};
  static const char* const texts[] = {"1", "abc", "a%", "%y", "", "x", "3000000000"};
  CKvrValueList values;
  for (int c = 0; c < names->Count(); ++c) {
    const AnsiString& name = (*names)[c];
    for (int k = 0; k < int(sizeof ops / sizeof ops[0]); ++k) {
      const char* text = texts[(c + k) % (sizeof texts / sizeof texts[0])];
      t.ClearCond();
      t.AddCond(name, ops[k], text);
      if (k % 3 == 0) t.AddCond("__REC__ID__", COND_GRT, "1");
      if (k % 4 == 1) t.AddCond((*names)[(c + 1) % names->Count()], COND_NOT_EQL, "7");
      t.AddCondEnd();
      int n = 0;
      while (t.GetRec(values) && n < kBound) ++n;
      Check(n < kBound);
      t.ClearCond();
      t.AddCond(name, ops[k], text);
      t.AddCondEnd();
      n = 0;
      while (t.GetRecNB(values) >= 0 && n < kBound) ++n;
      Check(n < kBound);
      AnsiString value;
      t.GetColValue(name, value);

      t.ClearCond();
      t.AddCond(name, ops[k], text);
      t.AddEnumCol(name);
      t.AddCondEnd();
      TStringList list;
      t.GetEnum(name, list);
      t.ClearCond();
      t.AddEnumCol(name);
      t.AddCondEnd();
      t.SetEnumCol(name, k % 3);
      n = 0;
      while (t.GetEnumNB(list) >= 0 && n < kBound) ++n;
      Check(n < kBound);
      n = 0;
      TStringList step;
      for (int r; (r = t.GetEnumNB_a(values, step)) >= 0 && n < kBound; ++n)
        if (r == 1) t.AcceptEnum_a(step);
      Check(n < kBound);
      t.EnumList2(list, name, k % 3 == 0 ? 0 : 2, nullptr);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ErrorQuiet = true;
  const std::string path = Folder() + "/q.kv";
  DeleteFile(path);
  std::unique_ptr<CKvRecord> t(data[0] & 1 ? new OlderTable : new CKvRecord);
  t->SetFileName(path);
  if (!t->OpenOrCreate()) return 0;
  Build(*t);
  {
    CKorva* file = t->File();
    CKorvaHold hold(*file);
    const int keys = t->KeyCount();
    for (size_t pos = 1; pos + 3 <= size;) {
      const int key = data[pos] % keys + 1;
      const size_t length = std::min(size_t(data[pos + 1]) << 8 | data[pos + 2], size - pos - 3);
      pos += 3;
      if (file->SelectKey(key) && !file->Insert(data + pos, int(length))) file->Update(data + pos, int(length));
      pos += length;
    }
  }
  t->Close();
  if (t->Open() == 0) Query(*t);
  return 0;
}
