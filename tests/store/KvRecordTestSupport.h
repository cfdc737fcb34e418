// Shared pieces of the record-table tests: a table in a temporary folder, the messages that the
// error box would show, and raw looks at the file under a key.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/CvMessageUnit.h"
#include "store/KvRecord.h"
#include "tests/support/TestSupport.h"

// Collects the texts of the message boxes shown while it lives, pressing OK on each.
class MessageCatcher {
 public:
  MessageCatcher()
      : scope_([this](TForm* f) {
          if (auto* d = dynamic_cast<TCvMessageDlg*>(f)) texts.push_back(d->Label1->Caption());
          PressButton(f, SJ("ＯＫ"));
        }) {}
  std::vector<AnsiString> texts;
  AnsiString Last() const { return texts.empty() ? AnsiString() : texts.back(); }

 private:
  ModalHandlerScope scope_;
};

inline TStringList* Texts(std::initializer_list<AnsiString> items) {
  auto* list = new TStringList;
  for (const AnsiString& s : items) list->Add(s);
  return list;
}

// Every record under a key of an open file, each as lowercase hex.
inline std::vector<std::string> RawRecords(CKorva& file, int key) {
  std::vector<std::string> out;
  const int cap = file.DataBlockCap();
  std::vector<unsigned char> buf(size_t(cap) + 1);
  std::vector<unsigned char> last;
  if (!file.SelectKey(key)) return out;
  bool ok = file.First(buf.data());
  while (ok) {
    const int n = file.LastResult();
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < n; ++i) {
      hex += digits[buf[size_t(i)] >> 4];
      hex += digits[buf[size_t(i)] & 15];
    }
    out.push_back(hex);
    last.assign(buf.begin(), buf.begin() + n);
    ok = file.Next(last.data(), buf.data());
  }
  return out;
}

// Deletes the first entry under number key `key` of a closed table file: a damage that a run
// killed half way leaves.
inline void LoseFirstEntry(const std::string& file, int key = kvrKeySigned) {
  CKvRecord t;
  t.SetFileName(file);
  ASSERT_EQ(t.Open(), 0);
  CKvrLock lock(t.File());
  std::vector<unsigned char> entry(size_t(t.File()->DataBlockCap()));
  ASSERT_TRUE(t.File()->SelectKey(key) && t.File()->First(entry.data()));
  ASSERT_TRUE(t.File()->Delete(entry.data()));
}

// The decoded record `id` of an open table, or an empty list when it cannot be read.
inline std::vector<AnsiString> ReadBack(CKvRecord& t, uint32_t id) {
  std::vector<AnsiString> out;
  CKvrBuffer buf(64);
  CKvrValueList values;
  if (!t.ReadRecordBody(id, buf)) return out;
  CKvRecord::DecodeRecord(values, buf, *t.Columns());
  for (int i = 0; i < values.Count(); ++i) out.push_back(values.GetAt(i)->GetText());
  return out;
}

// A table in a fresh folder with the given columns (name, type, length).
struct TableFixture {
  struct Column {
    const char* name;
    char type;
    int length;
    uint32_t flags;
  };
  explicit TableFixture(std::initializer_list<Column> columns, const char* file = "t.kv") {
    table.SetFileName(dir.File(file));
    for (const Column& c : columns) {
      EXPECT_TRUE(table.AddColumn(c.name, c.type, c.length)) << c.name;
      if (c.flags) table.Columns()->Find(c.name)->Flags = c.flags;
    }
    EXPECT_TRUE(table.WriteColInfoList());
  }
  // Inserts one record from "name=text" pairs; its id, or 0 when the insert failed.
  uint32_t Add(std::initializer_list<std::pair<const char*, AnsiString>> fields, unsigned requested = 0) {
    TStringList names, texts;
    for (const auto& f : fields) {
      names.Add(f.first);
      texts.Add(f.second);
    }
    unsigned id = 0;
    return table.InsertEx(names, texts, &id, requested) ? id : 0;
  }
  std::vector<AnsiString> Get(uint32_t id) { return ReadBack(table, id); }
  std::vector<std::string> Raw(int key) { return RawRecords(*table.File(), key); }
  // Every record under every key, for "nothing changed" checks.
  std::vector<std::vector<std::string>> All() {
    std::vector<std::vector<std::string>> out;
    for (int key = 1; key <= table.KeyCount(); ++key) out.push_back(Raw(key));
    return out;
  }

  TempDir dir;
  CKvRecord table;
};
