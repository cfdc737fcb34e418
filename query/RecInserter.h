// CRecInserter: records inserted into the tables of a record-file list, the tables opened once
// for any number of records.
//
// The columns are matched to the tables once, when the inserter is made: a name with a table part
// ("t.c") goes to that table only, a bare name to the first table, in the order given, that has a
// column of that name; a name that no table has takes nothing. Each insert then hands every table
// the values of its own columns, in table order, and stops at the first table that refuses; a
// table that did not open (its message has been shown) makes every insert fail, since no record
// would be whole. CRecFileList::InsertRecord is one insert through a short-lived inserter.
//
// A held run: Hold() holds the files of the local tables, so that the inserts that follow lock,
// check and write each file once per run instead of once per record. Breathe() ends the run and
// begins the next once it has lasted kBreatheMs, so that other processes get their turn at the
// files. Ending a run writes what it changed; when that fails, the run's records are lost, which
// the inserter reports ("レコードの書き込みができません。") and answers as a count.
//
// Owns the open tables and closes them when destroyed (ending a run first). One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/Classes.h"

class CKorva;
class CKvRecord;
class CRecFileList;

class CRecInserter {
 public:
  static constexpr int kBreatheMs = 2000;

  CRecInserter(CRecFileList& files, const TStrings& columns, const TStrings& tables);
  ~CRecInserter();
  CRecInserter(const CRecInserter&) = delete;
  CRecInserter& operator=(const CRecInserter&) = delete;

  // Value i goes to column i; values beyond the columns, and columns beyond the values, take
  // nothing. A null value supplies nothing for its column. True when every table took its part.
  bool Insert(std::span<const AnsiString* const> values);
  bool Insert(const TStrings& values);

  void Hold();
  // Each answers the number of inserts of the ended run that were lost (0 when none was).
  int EndRun();
  int Breathe();

 private:
  struct Part;
  std::vector<std::unique_ptr<Part>> parts_;
  // Column i -> the part that takes it (-1: none) and the name it has there.
  std::vector<int> target_;
  std::vector<AnsiString> names_;
  bool allOpened_ = false;
  std::vector<CKorva*> held_;
  uint32_t heldSince_ = 0;
  int runInserts_ = 0;
  std::vector<const AnsiString*> given_;  // reused by Insert(const TStrings&)
};
