// Shared pieces of the query tests: tables in a temporary folder reached through a record-file
// list, and rows read back as "a|b|c" texts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "query/RecFileList.h"
#include "query/RecSelect.h"
#include "store/KvRecord.h"
#include "tests/store/KvRecordTestSupport.h"

struct TestDb {
  // Registers the table with a file of its own and gives it the columns (name, type name).
  void MakeTable(const AnsiString& table, std::initializer_list<std::pair<const char*, const char*>> columns) {
    files.AddTable(File(table), table);
    for (const auto& c : columns) EXPECT_EQ(files.AddColumn(table, c.first, c.second, 40), 1) << c.first;
  }
  AnsiString File(const AnsiString& table) const { return dir.File(table + ".kv"); }

  // Inserts one record from "column=text" pairs; its id, 0 when the insert failed.
  uint32_t Add(const AnsiString& table, std::initializer_list<std::pair<const char*, AnsiString>> fields) {
    TStringList names, texts;
    for (const auto& f : fields) {
      names.Add(f.first);
      texts.Add(f.second);
    }
    return Add(table, names, texts);
  }
  uint32_t Add(const AnsiString& table, const TStrings& names, const TStrings& texts) {
    std::unique_ptr<CKvRecord> t(CreateKvRecord(File(table)));
    unsigned id = 0;
    const bool ok = t->InsertEx(names, texts, &id, 0);
    t->Close();
    return ok ? id : 0;
  }

  // The texts of column `column` of record `id`, or "?" when it cannot be read.
  AnsiString Field(const AnsiString& table, uint32_t id, int column) {
    CKvRecord t;
    t.SetFileName(File(table));
    if (t.Open() < 0) return "?";
    const std::vector<AnsiString> values = ReadBack(t, id);
    t.Close();
    return column < int(values.size()) ? values[size_t(column)] : AnsiString("?");
  }

  TempDir dir;
  CRecFileList files;
};

// A file of the query tests' data folder (tests/query/data).
inline std::string DataFile(const std::string& name) {
  const char* dir = std::getenv("CW_TEST_DATA");
  return std::string(dir ? dir : ".") + "/data/" + name;
}

inline std::string Joined(const TStrings& row) {
  std::string out;
  for (int i = 0; i < row.Count(); ++i) out += (i ? "|" : "") + row[i];
  return out;
}

// Every row of a listing through the record-file list's cursor; {"ERROR"} when it does not start.
inline std::vector<std::string> ListRows(CRecFileList& files, const AnsiString& columns, const AnsiString& tables,
                                         const AnsiString& condition) {
  if (!files.ListStart(columns, tables, condition)) return {"ERROR"};
  std::vector<std::string> rows;
  TStringList row;
  while (files.ListNext(row)) rows.push_back(Joined(row));
  return rows;
}
