// Record tables over damaged files. The first byte picks the key layout: 0 current, 1 older,
// 2 a key table of its own (a count byte, then one length byte per key), as a foreign file has.
// Then each record is a key number byte, a two-byte length and that many bytes, inserted as it
// stands into a fresh table file. The table is then opened and read, looked up, written,
// re-indexed, copied and appended, whatever its table information, column definitions, bodies,
// entries and string values hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/LogForm.h"
#include "fuzz/TempFolder.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"

namespace {

const std::string& Folder() { return TempFolder("cw-table-fuzz"); }

void Exercise(CKvRecord& t, const std::string& copy) {
  std::unique_ptr<TStrings> names(t.ListCol(nullptr));
  CKvrBuffer body(64);
  CKvrValueList values;
  for (uint32_t id = 1; id <= 8; ++id) {
    if (!t.ReadRecordBody(id, body)) continue;
    CKvRecord::DecodeRecord(values, body, *t.Columns());
    for (int i = 0; i < values.Count(); ++i) values.GetAt(i)->GetText();
  }
  TStringList texts;
  for (int i = 0; i < names->Count(); ++i) {
    AnsiString text;
    unsigned number = 0;
    t.GetHighest((*names)[i], text);
    t.GetLeast((*names)[i], text);
    t.GetIdByKey((*names)[i], text, number);
    texts.Add(IntToStr(i));
  }
  t.Insert(*names, texts);
  t.ChgRecById("1", 1, "changed");
  t.ReIndex(nullptr, nullptr);
  t.DelRecById("2");
  DeleteFile(copy);
  t.CopyTo(copy);
  t.AppendTo(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ErrorQuiet = true;
  const std::string path = Folder() + "/t.kv", copy = Folder() + "/c.kv";
  int16_t own[26] = {};
  const int16_t* keys = kvrKeysOfCurrent;
  size_t pos = 1;
  if (data[0] % 3 == 1) keys = kvrKeysOfOlder;
  if (data[0] % 3 == 2) {
    if (size < 2) return 0;
    own[0] = int16_t(data[1] % 24 + 1);
    pos = 2;
    for (int i = 1; i <= own[0]; ++i) own[i] = int16_t(pos < size ? data[pos++] % 64 + 1 : 4);
    keys = own;
  }
  {
    CKorva file;
    if (!file.Create(path, 1024, 2048, keys) || !file.Open(path)) return 0;
    CKorvaHold hold(file);
    while (pos + 3 <= size) {
      const int key = data[pos] % keys[0] + 1;
      const size_t length = std::min(size_t(data[pos + 1]) << 8 | data[pos + 2], size - pos - 3);
      pos += 3;
      if (file.SelectKey(key)) file.Insert(data + pos, int(length));
      pos += length;
    }
  }
  CKvRecord t;
  t.SetFileName(path);
  if (t.Open() == 0) Exercise(t, copy);
  return 0;
}
