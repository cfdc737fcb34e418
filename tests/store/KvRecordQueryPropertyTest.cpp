// Random tables, random writes, random condition groups: every answer of the index walks is
// compared with a plain filter over the records read back by id.
//
// Every third table has the layout of the files before version 110. KVR_QUERY_ROUNDS raises the
// number of tables (default 6); KVR_QUERY_SEED fixes the first seed.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "foundation/LogForm.h"
#include "store/CondOp.h"
#include "store/KvrCondMod.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

struct ColumnDef {
  const char* name;
  char type;
  uint32_t flags;
};

const ColumnDef kColumns[] = {
    {"s", kvrSigned, 0},      {"wide", kvrSigned, 0},     {"u", kvrUnsigned, 0},
    {"r", kvrReal, 0},        {"t", kvrString, 0},        {"k", kvrString, 0},
    {"set", kvrSet, 0},       {"uq", kvrString, kvrOptUnique}, {"un", kvrSigned, kvrOptUnique},
    {"serial", kvrString, kvrAutoSerial}, {"long", kvrString, 0},
};
constexpr int kColumnCount = int(sizeof kColumns / sizeof kColumns[0]);

struct Cond {
  AnsiString column;
  int op;
  AnsiString text;
};

struct Group {
  std::vector<Cond> conds;
  std::vector<std::vector<Cond>> subs;
};

using RecordMap = std::map<uint32_t, std::unique_ptr<CKvrValueList>>;

int Scale() {
  const char* s = std::getenv("KVR_QUERY_ROUNDS");
  return s ? std::max(1, std::atoi(s)) : 6;
}

class Gen {
 public:
  explicit Gen(uint32_t seed) : rng_(seed) {
    longHead_ = AnsiString(230, 'L');
    for (const char* s : {"日本", "日本語", "ソ表", "ｱｲ"}) japanese_.push_back(Utf8ToSjis(s));
  }
  int Int(int n) { return int(rng_() % uint32_t(n)); }
  bool Chance(int percent) { return Int(100) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[size_t(Int(int(v.size())))];
  }

  AnsiString Text() {
    static const std::vector<AnsiString> plain = {"",   "a",   "ab",  "abc", "abd",  "b",  "ba", "%",
                                                  "a%b", "a\\b", "abcdefghijklmnop1", "abcdefghijklmnop2",
                                                  "\xFF\xFF", "\xFF"};
    return Chance(20) ? Pick(japanese_) : Pick(plain);
  }
  AnsiString Set() {
    static const std::vector<AnsiString> elements = {"x", "y", "z", "ab", "abc"};
    AnsiString s;
    const int n = Int(4);
    for (int i = 0; i < n; ++i) {
      if (i) s += Chance(50) ? "," : ", ";
      s += Chance(15) ? Pick(japanese_) : Pick(elements);
    }
    return s;
  }
  // Texts past 503 bytes make long bodies; equal first 200 bytes share one string value.
  AnsiString Long() {
    switch (Int(4)) {
      case 0: return "short";
      case 1: return longHead_ + AnsiString(size_t(Int(400)), 'x');
      case 2: return longHead_ + AnsiString(size_t(Int(3)), 'y') + AnsiString(300, 'z');
      default: return AnsiString(199, 'M') + japanese_[0] + AnsiString(size_t(Int(300)), 'm');
    }
  }
  AnsiString Value(int col) {
    switch (col) {
      case 0: return Chance(10) ? AnsiString(Chance(50) ? "" : "x") : Format("%d", Int(7) - 3);
      case 1: return Format("%d", Int(400));
      case 2: return Chance(10) ? AnsiString() : Format("%d", Int(6));
      case 3: {
        static const std::vector<AnsiString> reals = {"0", "1.5", "-2", "2.50", "1e2", "", "abc", "0.001", "-0.5"};
        return Pick(reals);
      }
      case 4: return Text();
      case 5: return Format("k%03d", Int(120));
      case 6: return Set();
      case 7: return Format("q%02d", Int(60));
      case 8: return Format("%d", Int(80));
      case 9: return Chance(80) ? AnsiString() : AnsiString(Chance(50) ? "A9" : "Z9");
      default: return Long();
    }
  }
  AnsiString Pattern() {
    static const std::vector<AnsiString> patterns = {"a%",  "%b",  "%",    "a\\%%", "ab%", "%b%", "k01%",
                                                    "q%",  "k0%1", "ab",   "a%c",   "x%",  "\\a%", "L%",
                                                    "LLL%x", "%z",  "\xFF%", "1%"};
    return Chance(15) ? japanese_[0] + "%" : Pick(patterns);
  }
  Cond MakeCond(int records) {
    Cond c;
    const int pick = Int(kColumnCount + 3);
    const int ops[] = {COND_LES, COND_LES_EQL, COND_EQL,  COND_EQL,      COND_GRT_EQL, COND_GRT, COND_NOT_EQL,
                       COND_LIKE, COND_LIKE,   COND_NOT_LIKE, COND_NOT_LIKE, COND_ALL,     COND_REJ};
    c.op = ops[Int(int(sizeof ops / sizeof ops[0]))];
    if (pick >= kColumnCount + 1) {
      c.column = Chance(90) ? "__REC__ID__" : "missing";
      c.text = Format("%d", Int(records + 2));
    } else {
      const int col = std::min(pick, kColumnCount - 1);
      c.column = kColumns[col].name;
      c.text = c.op == COND_LIKE || c.op == COND_NOT_LIKE ? Pattern() : Value(col);
    }
    return c;
  }
  Group MakeGroup(int records) {
    Group g;
    const int n = 1 + Int(3);
    for (int i = 0; i < n; ++i) g.conds.push_back(MakeCond(records));
    // Wide walks on several columns make the plan look ahead, keep some walks and leave others.
    if (Chance(20)) {
      g.conds.push_back({"wide", Chance(50) ? COND_GRT : COND_NOT_EQL, Format("%d", Int(40))});
      g.conds.push_back({"k", Chance(50) ? COND_LIKE : COND_GRT, Chance(50) ? "k%" : "k0"});
    }
    if (Chance(25)) {
      const int lists = 1 + Int(2);
      for (int l = 0; l < lists; ++l) {
        g.subs.emplace_back();
        for (int i = 0, m = 1 + Int(2); i < m; ++i) {
          Cond c = MakeCond(records);
          if (c.column == "missing") c.column = "t";
          g.subs.back().push_back(c);
        }
      }
    }
    return g;
  }

 private:
  std::mt19937 rng_;
  AnsiString longHead_;
  std::vector<AnsiString> japanese_;
};

// The comparison of one value, written out from the value rules.
bool Holds(const CKvrValue& a, int op, const CKvrValue& b) {
  const int c = CKvrValue::Compare(a, b);
  switch (op) {
    case COND_LES: return c < 0;
    case COND_LES_EQL: return c <= 0;
    case COND_EQL: return c == 0;
    case COND_GRT_EQL: return c >= 0;
    case COND_GRT: return c > 0;
    case COND_NOT_EQL: return c != 0;
    case COND_LIKE: return CKvrValue::Like(a, b);
    case COND_NOT_LIKE: return !CKvrValue::Like(a, b);
    case COND_ALL: return true;
    default: return false;
  }
}

bool HoldsAll(CKvRecord& t, const CKvrValueList& rec, const std::vector<Cond>& conds) {
  for (const Cond& c : conds) {
    const int col = t.Columns()->IndexOf(c.column);
    if (col < 0) continue;
    CKvrValue b(t.Columns()->GetAt(col)->Type);
    b.SetText(c.text.c_str());
    if (!Holds(*rec.GetAt(col), c.op, b)) return false;
  }
  return true;
}

bool Matches(CKvRecord& t, const CKvrValueList& rec, const Group& g) {
  bool known = false;
  for (const Cond& c : g.conds) known = known || t.Columns()->IndexOf(c.column) >= 0;
  if (!known || !HoldsAll(t, rec, g.conds)) return false;
  if (g.subs.empty()) return true;
  for (const auto& list : g.subs)
    if (HoldsAll(t, rec, list)) return true;
  return false;
}

void Start(CKvRecord& t, const Group& g, const AnsiString& enumColumn = AnsiString()) {
  t.ClearCond();
  for (const Cond& c : g.conds) t.AddCond(c.column, c.op, c.text);
  if (!enumColumn.empty()) t.AddEnumCol(enumColumn);
  t.AddCondEnd();
  for (const auto& list : g.subs) {
    for (const Cond& c : list) EXPECT_TRUE(t.AddSubCond(c.column, c.op, c.text));
    EXPECT_TRUE(t.AddSubCondEnd());
  }
}

AnsiString Describe(const Group& g) {
  AnsiString s;
  for (const Cond& c : g.conds) s += Format("[%s %s '%s'] ", c.column.c_str(), CondOpName(c.op), c.text.c_str());
  for (const auto& list : g.subs) {
    s += "OR(";
    for (const Cond& c : list) s += Format("[%s %s '%s'] ", c.column.c_str(), CondOpName(c.op), c.text.c_str());
    s += ")";
  }
  return s;
}

// The texts a record's value gives an enumeration: a set's elements, else the whole text.
std::vector<AnsiString> Elements(const CKvrValue& v) {
  std::vector<AnsiString> out;
  if (v.Type() == kvrSet) {
    CKvrValueList e;
    v.SplitSet(e);
    for (int i = 0; i < e.Count(); ++i) out.push_back(e.GetAt(i)->GetString());
  }
  if (out.empty()) out.push_back(v.GetText());
  return out;
}

// A table object that makes its files in the layout of the files before version 110.
class OlderLayoutTable : public CKvRecord {
 public:
  OlderLayoutTable() { Version_ = 0; }
};

class QueryProperty {
 public:
  QueryProperty(const std::string& path, uint32_t seed, bool older)
      : older_(older), table_(older ? new OlderLayoutTable : new CKvRecord), t_(*table_), gen_(seed), seed_(seed) {
    t_.SetFileName(path);
    for (const ColumnDef& c : kColumns) EXPECT_TRUE(t_.AddColumn(c.name, c.type, 20));
    for (int i = 0; i < kColumnCount; ++i) t_.Columns()->GetAt(i + 1)->Flags = kColumns[i].flags;
    EXPECT_TRUE(t_.WriteColInfoList());
  }

  void Write(int steps) {
    TStringList names, texts;
    for (const ColumnDef& c : kColumns) names.Add(c.name);
    for (int step = 0; step < steps; ++step) {
      const int kind = live_.empty() ? 0 : gen_.Int(10);
      if (kind < 6) {
        texts.Clear();
        for (int c = 0; c < kColumnCount; ++c) texts.Add(gen_.Value(c));
        unsigned id = 0;
        if (t_.InsertEx(names, texts, &id, 0)) live_.insert(id);
      } else if (kind < 8) {
        const uint32_t id = *std::next(live_.begin(), gen_.Int(int(live_.size())));
        const int col = gen_.Int(kColumnCount);
        t_.ChgRecById(Format("%u", id), col + 1, gen_.Value(col));
      } else {
        const uint32_t id = *std::next(live_.begin(), gen_.Int(int(live_.size())));
        EXPECT_TRUE(t_.DelRecById(Format("%u", id)));
        live_.erase(id);
      }
    }
    records_.clear();
    for (uint32_t id : live_) {
      CKvrBuffer buf(64);
      auto values = std::make_unique<CKvrValueList>();
      ASSERT_TRUE(t_.ReadRecordBody(id, buf)) << id;
      CKvRecord::DecodeRecord(*values, buf, *t_.Columns());
      records_[id] = std::move(values);
    }
  }

  std::vector<uint32_t> Expected(const Group& g) {
    std::vector<uint32_t> ids;
    for (const auto& [id, rec] : records_)
      if (Matches(t_, *rec, g)) ids.push_back(id);
    return ids;
  }

  // The texts of a record, in column order; a delivered record must read as it was read back.
  static std::vector<AnsiString> TextsOf(const CKvrValueList& values) {
    std::vector<AnsiString> texts;
    for (int i = 0; i < values.Count(); ++i) texts.push_back(values.GetAt(i)->GetText());
    return texts;
  }
  void CheckRecord(const CKvrValueList& values, const char* how) {
    const auto it = records_.find(values.GetAt(0)->GetUnsigned());
    ASSERT_TRUE(it != records_.end()) << how;
    EXPECT_EQ(TextsOf(values), TextsOf(*it->second)) << how << " seed " << seed_;
  }

  void CheckReads(const Group& g) {
    const std::vector<uint32_t> want = Expected(g);
    CKvrValueList values;
    std::vector<uint32_t> got;
    Start(t_, g);
    while (t_.GetRec(values)) {
      got.push_back(values.GetAt(0)->GetUnsigned());
      CheckRecord(values, "GetRec");
    }
    std::vector<uint32_t> sorted = got;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) << "GetRec twice: " << Describe(g);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(sorted, want) << "GetRec " << Describe(g) << " seed " << seed_;

    got.clear();
    Start(t_, g);
    for (int calls = 0; calls < 100000; ++calls) {
      const uint64_t before = t_.Candidates();
      const int r = t_.GetRecNB(values);
      ASSERT_LE(t_.Candidates() - before, 100u) << Describe(g);
      if (r < 0) break;
      if (r == 1) {
        got.push_back(values.GetAt(0)->GetUnsigned());
        CheckRecord(values, "GetRecNB");
      }
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want) << "GetRecNB " << Describe(g) << " seed " << seed_;
  }

  // Distinct texts of column col among the matching records, cut as an enumeration cuts.
  std::set<AnsiString> ExpectedValues(const Group& g, int col, int cut, bool cutAtLength) {
    std::set<AnsiString> out;
    for (const auto& [id, rec] : records_) {
      if (!Matches(t_, *rec, g)) continue;
      for (const AnsiString& text : Elements(*rec->GetAt(col))) {
        const bool longer = cutAtLength ? int(text.size()) >= cut : int(text.size()) > cut;
        out.insert(cut > 0 && longer ? CutToChars(text, cut) : text);
      }
    }
    return out;
  }

  void CheckEnumerations(const Group& base) {
    static const int textCols[] = {5, 6, 7, 8, 10, 11};  // column numbers of the text columns
    const int col = textCols[gen_.Int(6)];
    const AnsiString name = t_.Columns()->GetAt(col)->Name;
    // Every condition on a missing column makes the group find nothing; keep a real one.
    Group g = base;
    g.conds.push_back({name, COND_ALL, ""});

    TStringList all;
    Start(t_, g, name);
    t_.GetEnum(name, all);
    std::set<AnsiString> got;
    for (int i = 0; i < all.Count(); ++i) got.insert(all[i]);
    EXPECT_EQ(int(got.size()), all.Count()) << "GetEnum twice " << Describe(g);
    EXPECT_EQ(got, ExpectedValues(g, col, 0, false)) << "GetEnum " << name << " " << Describe(g) << " seed " << seed_;

    static const int cuts[] = {0, 1, 2, 3, 15};
    const int cut = cuts[gen_.Int(5)];
    for (int repeat = 0; repeat < 2; ++repeat) {
      Start(t_, g, name);
      ASSERT_TRUE(t_.SetEnumCol(name, cut));
      TStringList texts;
      for (int calls = 0; calls < 100000; ++calls) {
        const uint64_t before = t_.Candidates();
        const int r = t_.GetEnumNB(texts);
        ASSERT_LE(t_.Candidates() - before, 100u);
        if (r < 0) break;
      }
      std::set<AnsiString> nb;
      for (int i = 0; i < texts.Count(); ++i) nb.insert(texts[i]);
      EXPECT_EQ(int(nb.size()), texts.Count()) << "GetEnumNB delivered a text twice";
      EXPECT_EQ(nb, ExpectedValues(g, col, cut, false)) << "GetEnumNB " << name << " cut " << cut << " " << Describe(g) << " seed " << seed_;
    }

    // The caller-accepted form, on any column.
    const int anyCol = 1 + gen_.Int(kColumnCount);
    const AnsiString anyName = t_.Columns()->GetAt(anyCol)->Name;
    Group h = base;
    h.conds.push_back({anyName, COND_ALL, ""});
    Start(t_, h, anyName);
    ASSERT_TRUE(t_.SetEnumCol(anyName, cut));
    const bool text = kColumns[anyCol - 1].type == kvrString || kColumns[anyCol - 1].type == kvrSet;
    std::set<AnsiString> accepted;
    CKvrValueList values;
    for (int calls = 0; calls < 100000; ++calls) {
      TStringList step;
      const uint64_t before = t_.Candidates();
      const int r = t_.GetEnumNB_a(values, step);
      ASSERT_LE(t_.Candidates() - before, 100u);
      if (r < 0) break;
      if (r == 0) continue;
      for (int i = 0; i < step.Count(); ++i) EXPECT_TRUE(accepted.insert(step[i]).second) << step[i] << " seed " << seed_;
      t_.AcceptEnum_a(step);
    }
    EXPECT_EQ(accepted, ExpectedValues(h, anyCol, text ? cut : 0, true))
        << "GetEnumNB_a " << anyName << " cut " << cut << " " << Describe(h) << " seed " << seed_;
  }

  void CheckIndexList() {
    static const int textCols[] = {5, 6, 7, 8, 10, 11};
    const int col = textCols[gen_.Int(6)];
    static const int cuts[] = {0, 1, 2, 5, 200, 300};
    const int cut = cuts[gen_.Int(6)];
    const int limit = cut < 1 || cut > 200 ? 200 : cut;
    const int keyText = t_.Columns()->GetAt(col)->KeyLength - 4;
    std::set<AnsiString> want;
    for (const auto& [id, rec] : records_) {
      for (const AnsiString& text : Elements(*rec->GetAt(col))) {
        const int n = int(text.size());
        if (older_ && cut >= 1 && cut < keyText) {
          // Cut inside the key.
          want.insert(n < cut ? text : CutToChars(text, cut));
        } else if (older_) {
          // Texts longer than the key are listed whole from their records.
          want.insert(cut > 0 && n > cut ? CutToChars(text, cut) : text);
        } else {
          // What the string value keeps of the text, then the listing's cut.
          CKvrValue v(kvrString);
          v.SetText(text.c_str());
          const int kept = KvrKeptTextLength(v.Stored(), v.StoredLength());
          const AnsiString k(reinterpret_cast<const char*>(v.Stored()), size_t(kept));
          const AnsiString whole(k.c_str());
          want.insert(kept < limit || k[size_t(limit - 1)] == '\0' ? whole : CutToChars(whole, limit));
        }
      }
    }
    TStringList list;
    EXPECT_TRUE(t_.EnumList2(list, t_.Columns()->GetAt(col)->Name, cut, nullptr));
    std::set<AnsiString> got;
    for (int i = 0; i < list.Count(); ++i) got.insert(list[i]);
    EXPECT_EQ(int(got.size()), list.Count());
    EXPECT_EQ(got, want) << "EnumList2 column " << col << " cut " << cut << " seed " << seed_;
  }

  Gen& gen() { return gen_; }
  int Records() const { return int(live_.size()); }

 private:
  bool older_;
  std::unique_ptr<CKvRecord> table_;
  CKvRecord& t_;
  Gen gen_;
  uint32_t seed_;
  std::set<uint32_t> live_;
  RecordMap records_;
};

}  // namespace

TEST(KvRecordQueryProperty, IndexWalksAnswerLikeAPlainFilter) {
  ErrorQuiet = true;
  const char* fixed = std::getenv("KVR_QUERY_SEED");
  const uint32_t first = fixed ? uint32_t(std::strtoul(fixed, nullptr, 10)) : 20260;
  for (int round = 0; round < Scale(); ++round) {
    TempDir dir;
    QueryProperty p(dir.File("p.kv"), first + uint32_t(round), round % 3 == 2);
    for (int phase = 0; phase < 3; ++phase) {
      p.Write(phase == 0 ? 160 : 60);
      for (int g = 0; g < 25; ++g) {
        p.CheckReads(p.gen().MakeGroup(p.Records()));
        if (::testing::Test::HasFatalFailure()) break;
      }
      for (int e = 0; e < 8; ++e) {
        p.CheckEnumerations(p.gen().MakeGroup(p.Records()));
        p.CheckIndexList();
      }
    }
  }
  ErrorQuiet = false;
}
