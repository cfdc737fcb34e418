// The eight-column rows of the record-table benchmarks: an id, a date, a code of 10,000 values,
// a category of 20, a real amount, an integer, a Japanese name and a note, each row made from its
// number alone, so that both sides of a comparison see the same rows without keeping them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/SysUtils.h"
#include "store/KorvaCore.h"
#include "store/KvRecord.h"
#include "store/Kvrvalue.h"

constexpr int kCodes = 10000;
constexpr int kCategories = 20;

inline AnsiString CodeText(int code) { return Format("C%05d", code); }

// The rows, made from their number alone, so neither side keeps them in memory.
class Rows {
 public:
  Rows() {
    for (const char* s : {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤", "吉田", "山田",
                          "佐々木", "山口", "松本", "井上", "木村", "林", "斎藤", "清水"})
      family_.push_back(Utf8ToSjis(s));
    for (const char* s : {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔", "さくら", "大輔", "由美", "誠", "真由美"})
      given_.push_back(Utf8ToSjis(s));
    for (const char* s : {"食品", "飲料", "日用品", "文具", "家電", "衣料", "書籍", "玩具", "寝具", "食器", "園芸", "工具",
                          "化粧品", "医薬品", "雑貨", "家具", "靴", "鞄", "時計", "楽器"})
      categories_.push_back(Utf8ToSjis(s));
    for (const char* s : {"至急", "確認済", "要連絡", "保留", "返品", "再送", "納期注意", "見積中", "支払済", "未着"})
      notes_.push_back(Utf8ToSjis(s));
  }

  // The eight texts of row i.
  void Row(uint64_t i, std::vector<AnsiString>& out) const {
    const uint64_t h = Mix(i + 1);
    out.resize(8);
    out[0] = Format("%llu", static_cast<unsigned long long>(i + 1));
    out[1] = Format("%04d/%02d/%02d", 2015 + int(h % 10), 1 + int(h >> 8) % 12, 1 + int(h >> 16) % 28);
    out[2] = CodeText(int((h >> 24) % kCodes));
    out[3] = categories_[size_t((h >> 40) % kCategories)];
    out[4] = Format("%d.%02d", int((h >> 20) % 100000), int(h % 100));
    out[5] = Format("%d", int((h >> 33) % 2001) - 1000);
    out[6] = family_[size_t((h >> 12) % family_.size())] + given_[size_t((h >> 44) % given_.size())];
    out[7] = (h >> 50) % 4 == 0 ? notes_[size_t((h >> 52) % notes_.size())] + Format(" %llu", static_cast<unsigned long long>(h % 1000000))
                                : AnsiString();
  }

 private:
  std::vector<AnsiString> family_, given_, categories_, notes_;
};

const char* const kColumns[8] = {"id", "date", "code", "category", "amount", "qty", "name", "note"};
const char kTypes[8] = {kvrUnsigned, kvrString, kvrString, kvrString, kvrReal, kvrSigned, kvrString, kvrString};

// A table of rows [0, n) in the file at path, the eight columns indexed, written in one run of
// inserts; false when a column or a row is refused.
inline bool MakeEightColumnTable(const AnsiString& path, const Rows& rows, uint64_t n) {
  CKvRecord table;
  table.SetFileName(path);
  for (int c = 0; c < 8; ++c)
    if (!table.AddColumn(kColumns[c], kTypes[c], 20)) return false;
  TStringList names, texts;
  for (const char* c : kColumns) {
    names.Add(c);
    texts.Add(AnsiString());
  }
  std::vector<AnsiString> row;
  CKorvaHold run(*table.File());
  for (uint64_t i = 0; i < n; ++i) {
    rows.Row(i, row);
    for (int c = 0; c < 8; ++c) texts.SetString(c, row[size_t(c)]);
    if (!table.InsertEx(names, texts, nullptr, 0)) return false;
  }
  return true;
}

// The same rows in table t of an open SQLite database, as its own types hold them (the amount a
// real, the quantity an integer), inserted in one transaction; false on any failure.
inline bool MakeEightColumnSqlite(sqlite3* db, const Rows& rows, uint64_t n) {
  auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
  if (!exec("PRAGMA journal_mode=OFF") || !exec("PRAGMA synchronous=OFF") ||
      !exec("CREATE TABLE t(id INTEGER, date TEXT, code TEXT, category TEXT, amount REAL, qty INTEGER, name TEXT, note TEXT)") ||
      !exec("BEGIN"))
    return false;
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK) return false;
  std::vector<AnsiString> row;
  bool ok = true;
  for (uint64_t i = 0; ok && i < n; ++i) {
    rows.Row(i, row);
    sqlite3_bind_int64(insert, 1, sqlite3_int64(i + 1));
    for (int c : {1, 2, 3, 6, 7}) sqlite3_bind_text(insert, c + 1, row[size_t(c)].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_double(insert, 5, std::strtod(row[4].c_str(), nullptr));
    sqlite3_bind_int(insert, 6, std::atoi(row[5].c_str()));
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return ok && exec("COMMIT");
}

// Steps table t of an open SQLite database with every column of every row fetched as text (the
// listings' rows are texts too): the rows stepped and the bytes of their texts, {0, 0} when the
// query cannot be made.
inline std::pair<uint64_t, uint64_t> StepEightColumnSqlite(sqlite3* db) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT rowid, id, date, code, category, amount, qty, name, note FROM t", -1, &select,
                         nullptr) != SQLITE_OK)
    return {0, 0};
  uint64_t n = 0, bytes = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    for (int c = 0; c < 9; ++c) {
      sqlite3_column_text(select, c);
      bytes += uint64_t(sqlite3_column_bytes(select, c));
    }
    ++n;
  }
  sqlite3_finalize(select);
  return {n, bytes};
}
