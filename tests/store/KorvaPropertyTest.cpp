// Long random runs of record operations against std::map, with the whole file checked after every
// step (trees, chains, free lists, counts, and every block of the file accounted for).
// KORVA_PROPERTY_STEPS (per thousand) scales the runs and KORVA_PROPERTY_SEED varies them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "store/KorvaBehind.h"
#include "store/KorvaCore.h"
#include "tests/support/TestSupport.h"

namespace {

using Record = std::string;
using Model = std::map<std::string, Record>;

struct Shape {
  const char* name;
  int key_block, data_block;
  std::vector<int16_t> keys;  // key lengths; one entry and no key table when table is false
  bool table;
  int key_offset;             // where the key lies in a record (without key table)
  int key_space;              // keys are drawn from 1..key_space
  size_t cache;               // engine cache budget for the run
  int steps;
  int key_only = 0;           // percent of records that are their key alone (no other bytes)
  int write_pause_us = 0;     // flushes inside runs stay under way this much longer per write
  int longest_run = 40;       // operations in one held run at most
};

void PrintTo(const Shape& shape, std::ostream* os) { *os << shape.name; }

int Steps(int base) {
  const char* scale = std::getenv("KORVA_PROPERTY_STEPS");
  return scale ? base * std::max(1, std::atoi(scale)) / 1000 : base;
}

class RandomRun {
 public:
  RandomRun(const Shape& shape, const std::string& path, unsigned seed)
      : s_(shape), path_(path), rng_(seed), models_(shape.keys.size()), positions_(shape.keys.size()) {}

  void Go() {
    int16_t table[26] = {int16_t(s_.keys.size())};
    for (size_t i = 0; i < s_.keys.size(); ++i) table[i + 1] = s_.keys[i];
    ASSERT_EQ(s_.table ? db_create_keys(path_.c_str(), s_.key_block, s_.data_block, table)
                       : db_create_one(path_.c_str(), s_.key_offset, s_.keys[0], s_.key_block, s_.data_block),
              0);
    f_ = db_open(path_.c_str());
    ASSERT_NE(f_, nullptr);
    cap_ = db_data_cap(f_);
    buffer_.resize(size_t(cap_));
    int held = 0;
    for (step_ = 0; step_ < s_.steps && !::testing::Test::HasFailure(); ++step_) {
      if (s_.table) {
        key_ = int(Pick(0, int(s_.keys.size()) - 1));
        ASSERT_EQ(db_select_key(f_, key_ + 1), 0);
      }
      // Some stretches run inside a held run; the file is checked when the run ends.
      if (!held && Pick(0, 30) == 0) {
        ASSERT_EQ(db_hold(f_), 0);
        held = int(Pick(2, s_.longest_run));
      }
      OneOperation();
      if (held && --held == 0) {
        ASSERT_EQ(db_release(f_), 0);
      }
      if (!held) CheckFile();
    }
    if (held) {
      ASSERT_EQ(db_release(f_), 0);
    }
    CheckFile();
    ASSERT_EQ(db_close(f_), 0);
  }

 private:
  long Pick(long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(rng_); }
  int KeyLen() const { return s_.keys[size_t(key_)]; }
  Model& model() { return models_[size_t(key_)]; }
  std::string Key(long n) const {
    std::string k(size_t(KeyLen()), '\0');
    for (int i = 0; i < KeyLen() && i < 4; ++i) k[size_t(KeyLen() - 1 - i)] = char(n >> (8 * i));
    return k;
  }
  Record Make(const std::string& key) {
    Record r;
    for (int i = 0; i < s_.key_offset; ++i) r += char('A' + Pick(0, 25));
    r += key;
    const long shortest = s_.key_offset + KeyLen();
    const long length = Pick(0, 99) < s_.key_only ? shortest : Pick(shortest, cap_);
    while (long(r.size()) < length) r += char('a' + Pick(0, 25));
    return r;
  }
  std::string Got(int16_t n) const { return std::string(buffer_.data(), size_t(n)); }

  // The engine's answer against the model's: a record, or a failure with the expected detail.
  void Expect(const char* what, int16_t result, const Model::const_iterator& want, int detail) {
    std::string& position = positions_[size_t(key_)];
    if (want == model().end()) {
      ASSERT_EQ(result, -1) << what << " step " << step_;
      ASSERT_EQ(db_errdetail, detail) << what << " step " << step_;
      position.clear();
    } else {
      ASSERT_EQ(result, int16_t(want->second.size())) << what << " step " << step_ << " " << db_errdetail;
      ASSERT_EQ(Got(result), want->second) << what << " step " << step_;
      position = want->first;
    }
  }

  void OneOperation() {
    const std::string key = Key(Pick(1, s_.key_space));
    auto found = model().find(key);
    std::string& position = positions_[size_t(key_)];
    switch (Pick(0, 10)) {
      case 0:
      case 1:
      case 2: {  // insert, dense or halving
        const Record r = Make(key);
        const bool append = Pick(0, 3) == 0;
        const int16_t result = append ? db_append(f_, r.data(), int16_t(r.size())) : db_insert(f_, r.data(), int16_t(r.size()));
        if (found != model().end()) {
          ASSERT_EQ(result, -1);
          ASSERT_EQ(db_errdetail, kvExists);
          position.clear();
        } else {
          ASSERT_EQ(result, 0) << "insert step " << step_ << " detail " << std::hex << db_errdetail;
          model()[key] = r;
          position = key;
        }
        break;
      }
      case 3:
      case 4: {  // delete
        const int16_t result = db_delete(f_, key.data());
        if (found == model().end()) {
          ASSERT_EQ(result, -1);
          ASSERT_EQ(db_errdetail, kvNotFound);
          position.clear();
        } else {
          ASSERT_EQ(result, 0) << "delete step " << step_ << " detail " << std::hex << db_errdetail;
          model().erase(found);
          position = key;
        }
        break;
      }
      case 5: {  // update
        const Record r = Make(key);
        const int16_t result = db_update(f_, r.data(), int16_t(r.size()));
        if (found == model().end()) {
          ASSERT_EQ(result, -1);
          ASSERT_EQ(db_errdetail, kvNotFound);
          position.clear();
        } else {
          ASSERT_EQ(result, 0) << "update step " << step_ << " detail " << std::hex << db_errdetail;
          found->second = r;
          position = key;
        }
        break;
      }
      case 6:
        Expect("read", db_read(f_, key.data(), buffer_.data()), found, kvNotFound);
        break;
      case 7:
        Expect("seek", db_seek(f_, key.data(), buffer_.data()), model().lower_bound(key), kvNoNext);
        break;
      case 8:
        if (Pick(0, 1))
          Expect("next", db_next(f_, key.data(), buffer_.data()), model().upper_bound(key), kvNoNext);
        else
          Expect("first", db_first(f_, buffer_.data()), model().begin(), kvNoNext);
        break;
      case 9: {
        const bool inclusive = Pick(0, 1);
        auto it = inclusive ? model().upper_bound(key) : model().lower_bound(key);
        auto want = it == model().begin() ? model().end() : std::prev(it);
        Expect(inclusive ? "seek_prev" : "prev",
               inclusive ? db_seek_prev(f_, key.data(), buffer_.data()) : db_prev(f_, key.data(), buffer_.data()),
               want, kvNoPrev);
        break;
      }
      case 10: {  // a few steps along from the current position
        for (int i = 0; i < 4; ++i) {
          if (position.empty()) {
            ASSERT_EQ(db_next_pos(f_, buffer_.data()), -1);
            ASSERT_EQ(db_errdetail, kvNoPosition);
            break;
          }
          Expect("next_pos", db_next_pos(f_, buffer_.data()), model().upper_bound(position), kvNoNext);
        }
        break;
      }
    }
  }

  void CheckFile() {
    KorvaCheckReport report;
    size_t total = 0;
    for (const Model& m : models_) total += m.size();
    ASSERT_EQ(db_check(path_.c_str(), &report), int(total)) << "step " << step_ << " damaged " << report.damaged.size();
    ASSERT_EQ(report.accounted, report.allocated) << "step " << step_;
  }

  Shape s_;
  std::string path_;
  std::mt19937 rng_;
  std::vector<Model> models_;
  std::vector<std::string> positions_;
  KorvaFile* f_ = nullptr;
  int key_ = 0, cap_ = 0, step_ = 0;
  std::vector<char> buffer_;
};

class KorvaProperty : public ::testing::TestWithParam<Shape> {};

TEST_P(KorvaProperty, MatchesAnOrderedMap) {
  const Shape& shape = GetParam();
  TempDir dir;
  db_cache_limit(shape.cache);
  g_wb_pause_us = shape.write_pause_us;
  const char* seed = std::getenv("KORVA_PROPERTY_SEED");
  RandomRun(shape, dir.File("random.kvr"), seed ? unsigned(std::atoi(seed)) : 12345u).Go();
  g_wb_pause_us = 0;
  db_cache_limit(size_t(48) << 20);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, KorvaProperty,
    ::testing::Values(
        // Tiny blocks: many splits, merges and levels; a cache of a few blocks forces evictions
        // of changed blocks in the middle of runs.
        Shape{"tiny", 128, 256, {24}, false, 0, 400, 4096, Steps(4000)},
        Shape{"tiny_table", 128, 128, {4, 8}, true, 0, 300, 1 << 20, Steps(4000)},
        Shape{"key_offset", 256, 512, {6}, false, 5, 500, 1 << 20, Steps(2000)},
        // Mostly key-only records, as in the blocks of an index: blocks that hold nothing else
        // and blocks that hold a few longer records too.
        Shape{"key_only", 128, 256, {4, 8}, true, 0, 400, 4096, Steps(4000), 90},
        // Changed blocks written behind the run slowly: the run changes, drops and reads again
        // blocks whose writing is still under way.
        Shape{"slow_writes", 128, 256, {24}, false, 0, 400, 4096, Steps(3000), 0, 200, 600},
        Shape{"normal", 1024, 2048, {8}, false, 0, 2000, 32 << 20, Steps(2000)}),
    [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

}  // namespace
