// Index entries, shared string values and record bodies of the record tables.
//
// Invariants kept here (layouts in store/Kvrcolinfo.h):
// - every record has one entry per signed, unsigned and real column, also for an empty value;
// - every record has one reference per distinct indexed text of each string and set column, and
//   a string value exists while a reference to it exists (current layout); its use count is the
//   number of references;
// - inside the held run of inserts, the number entries, references and use-count rises that the
//   string cache keeps back are missing until they are written (before the run's blocks go to disk
//   and before anything else of the table reads or changes the file);
// - a body is under key 2 whole, or as its first C bytes there and gap-free chunks 0, 1, ...
// A step that fails half-way takes back what it wrote before answering false, so its caller can
// treat every step as all or nothing.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/KvRecord.h"

namespace {

void SetBE32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

void PutColumn(CKvrBuffer& b, int colNo, bool current) {
  if (current)
    b.PutU16(unsigned(colNo));
  else
    b.PutU32(uint32_t(colNo));
}

// The bytes that stand for a value in keys: a text with its NUL, or the stored form of a number.
AnsiString ImageBytes(const CKvrValue& v) {
  if (v.Type() == kvrString || v.Type() == kvrSet) return AnsiString(v.GetString().c_str(), v.GetString().size() + 1);
  return AnsiString(reinterpret_cast<const char*>(v.Stored()), size_t(std::max(v.StoredLength(), 0)));
}

// The image of a string or set value where its stored bytes hold it (its text and then a NUL),
// without a copy; null when they do not.
const unsigned char* StringImage(const CKvrValue& v, int& size) {
  static const unsigned char kEmpty[1] = {0};
  if (v.Type() != kvrString && v.Type() != kvrSet) return nullptr;
  const int stored = v.StoredLength();
  if (stored <= 0) {
    size = 1;
    return kEmpty;
  }
  const void* nul = std::memchr(v.Stored(), 0, size_t(stored));
  if (!nul) return nullptr;
  size = int(static_cast<const unsigned char*>(nul) - v.Stored()) + 1;
  return v.Stored();
}

// The part of the image that a string-value record keeps (and so the part that tells values apart).
AnsiString KeptImage(const CKvrValue& v) {
  AnsiString image = ImageBytes(v);
  image.resize(size_t(KvrKeptTextLength(reinterpret_cast<const unsigned char*>(image.data()), int(image.size()))));
  return image;
}


}  // namespace

std::unique_ptr<CKvrValueList> CKvRecord::IndexedTexts(const CKvrValue& v) {
  auto list = std::make_unique<CKvrValueList>();
  if (v.Type() == kvrSet) v.SplitSet(*list);
  if (list->Count() == 0) {
    const AnsiString text = v.GetString();
    list->Add(new CKvrValue(text.c_str(), int(text.size())));
  }
  return list;
}

namespace {

// Index of the text in the list with the same kept image, or -1: texts equal in their kept bytes
// are one string value.
int IndexOfImage(const CKvrValueList& list, const CKvrValue& v) {
  const AnsiString image = KeptImage(v);
  for (int i = list.Count() - 1; i >= 0; --i)
    if (KeptImage(*list.GetAt(i)) == image) return i;
  return -1;
}

}  // namespace

// ---- String values -----------------------------------------------------------------------------

void CKvRecord::MakeStringValueRecord(CKvrBuffer& buf, const CKvrColInfo&, int colNo, const CKvrValue& value,
                                      uint32_t stringId, uint32_t useCount) {
  AnsiString copy;
  int size = 0;
  const unsigned char* image = StringImage(value, size);
  if (!image) {
    copy = ImageBytes(value);
    image = reinterpret_cast<const unsigned char*>(copy.data());
    size = int(copy.size());
  }
  const int kept = KvrKeptTextLength(image, size);
  const int prefix = std::min(size, kvrTextPrefix);
  buf.Clear();
  buf.PutU16(unsigned(colNo));
  buf.PutBytes(image, prefix);
  buf.Fill(0, kvrTextPrefix - prefix);
  buf.PutU32(stringId);
  buf.PutU32(useCount);
  const unsigned char n = uint8_t(kept);
  buf.PutBytes(&n, 1);
  buf.PutBytes(image, kept);
}

// ---- The string cache --------------------------------------------------------------------------
//
// Entries: a string value's column, key prefix and kept text (the bytes that tell values apart)
// -> its id and the references added since its use count was last written. Entries come from
// this object's inserts only; the ones with a count kept back are listed in `waiting`.
//
// An open-addressing table over an entry array and one block of key bytes, all of fixed size, so
// that the cache never takes more than about 0.8 MB. When it is full, a sweep keeps the entries
// used since the last sweep or keeping a count back; when they fill more than half of it, their
// counts are written and all go. A run of unique texts so passes through without pushing out the
// texts that recur.
class CKvRecord::StringCache {
 public:
  static constexpr uint32_t kEntries = 8192;
  static constexpr uint32_t kSlots = 2 * kEntries;  // a power of two
  static constexpr size_t kKeyBytes = size_t(1) << 19;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  struct Entry {
    uint64_t hash;
    uint32_t at;       // of the key in keys
    uint16_t size;     // key bytes
    bool used;         // met again since the last sweep
    bool live;         // false once its string value was deleted
    uint32_t id;
    uint32_t pending;  // rises kept back
  };

  StringCache() : slots(kSlots, kNone) {
    std::fill(std::begin(lastOf), std::end(lastOf), kNone);
    entries.reserve(kEntries);
    keys.reserve(kKeyBytes);
  }

  // The entry key of a string-value record (or of the record a look-up seeks).
  static void Key(std::string& key, const unsigned char* rec) {
    key.assign(reinterpret_cast<const char*>(rec), 16);
    key.append(reinterpret_cast<const char*>(rec + 24), size_t(rec[24]) + 1);
  }
  static uint64_t Hash(const std::string& key) { return std::hash<std::string>()(key); }

  bool Same(const Entry& e, uint64_t hash, const std::string& key) const {
    return e.hash == hash && e.live && e.size == key.size() && std::memcmp(&keys[e.at], key.data(), key.size()) == 0;
  }
  // The entry of key: the one its column met last when it is the same (a column whose texts
  // repeat is looked up without the table), else from the table; kNone when there is none.
  uint32_t Find(const std::string& key, int colNo) {
    uint32_t& last = lastOf[size_t(colNo) % kLasts];
    if (last != kNone) {
      const Entry& e = entries[last];
      if (e.live && e.size == key.size() && std::memcmp(&keys[e.at], key.data(), key.size()) == 0) return last;
    }
    const uint64_t hash = Hash(key);
    for (uint32_t s = uint32_t(hash) & (kSlots - 1);; s = (s + 1) & (kSlots - 1)) {
      if (slots[s] == kNone) return kNone;
      if (Same(entries[slots[s]], hash, key)) return last = slots[s];
    }
  }
  // False when the table is full.
  bool Add(const std::string& key, uint32_t id) {
    if (entries.size() >= kEntries || keys.size() + key.size() > kKeyBytes) return false;
    const uint64_t hash = Hash(key);
    uint32_t s = uint32_t(hash) & (kSlots - 1);
    for (; slots[s] != kNone; s = (s + 1) & (kSlots - 1))
      if (Same(entries[slots[s]], hash, key)) return true;
    slots[s] = uint32_t(entries.size());
    entries.push_back(Entry{hash, uint32_t(keys.size()), uint16_t(key.size()), false, true, id, 0});
    keys.insert(keys.end(), key.begin(), key.end());
    return true;
  }
  void Raise(uint32_t i) {
    if (entries[i].pending++ == 0) waiting.push_back(i);
  }
  // The string value of key was deleted: its entry never matches again, and keeps nothing back.
  void Kill(const std::string& key) {
    const uint64_t hash = Hash(key);
    for (uint32_t s = uint32_t(hash) & (kSlots - 1); slots[s] != kNone; s = (s + 1) & (kSlots - 1)) {
      Entry& e = entries[slots[s]];
      if (!Same(e, hash, key)) continue;
      e.live = false;
      e.pending = 0;  // the entry stays listed in waiting; a count of 0 writes nothing
      return;
    }
  }
  // Keeps the live entries used since the last sweep or keeping a count back (when keep is
  // set), and drops the rest; true when the kept ones fill at most half of the cache.
  bool Sweep(bool keep) {
    // The kept entries and their keys move towards the front, in place.
    std::fill(slots.begin(), slots.end(), kNone);
    std::fill(std::begin(lastOf), std::end(lastOf), kNone);
    waiting.clear();
    uint32_t n = 0;
    size_t used = 0;
    for (const Entry& e : entries) {
      if (!keep || !e.live || (!e.used && e.pending == 0)) continue;
      Entry& moved = entries[n];
      std::memmove(&keys[used], &keys[e.at], e.size);
      moved = e;
      moved.at = uint32_t(used);
      moved.used = false;
      used += e.size;
      uint32_t s = uint32_t(moved.hash) & (kSlots - 1);
      while (slots[s] != kNone) s = (s + 1) & (kSlots - 1);
      slots[s] = n;
      if (moved.pending > 0) waiting.push_back(n);
      ++n;
    }
    entries.resize(n);
    keys.resize(used);
    return n <= kEntries / 2 && used <= kKeyBytes / 2;
  }

  std::vector<uint32_t> slots;  // entry indexes; kNone: empty
  std::vector<Entry> entries;
  std::vector<char> keys;
  static constexpr size_t kLasts = 64;
  uint32_t lastOf[kLasts];  // per column (modulo kLasts): the entry it met last
  std::vector<uint32_t> waiting;  // entries with pending > 0 (or killed since)
  uint32_t drops = 0;             // the file's drops when the cache was made
  // References kept back, as string-value id (high half) and record id, and room to sort them.
  static constexpr size_t kRefsKept = size_t(1) << 15;
  std::vector<uint64_t> refs, sorting;
  // Entries of number columns kept back, with the key they go under.
  struct KeptEntry {
    uint8_t key, length;
    uint8_t bytes[16];
  };
  static constexpr size_t kEntriesKept = size_t(1) << 14;
  std::vector<KeptEntry> numbers;
  std::string key;                // the key being looked up
  CKvrBuffer sought{256};
};

// ---- The directory of crowded groups ----------------------------------------------------------
//
// A group: the string values of one column whose texts share their first 14 bytes. Their keys
// differ only in the string-value id, so a look-up walks the group in id order comparing whole
// texts (a text of at most 13 bytes is alone in its group). A walk that passes kCrowded values
// makes its group crowded: it starts again from the group's first value and notes the text and
// id of every value it meets, and a walk that reaches the group's end makes the group whole, after
// which a text it lacks is known to be absent.
//
// A value is noted as a 32-bit hash of its kept text and its id, 8 bytes in all, so that the
// directory holds every value of many crowded groups in a few megabytes. Texts are not kept: a
// noted id whose hash matches is read back and its text compared before it is trusted, and two
// texts of one group with the same hash are both tried.
//
// The directory follows this object's own writes of string values. It is forgotten when the
// table information shows a string value or column change that it does not know of (another
// object or process wrote), when a noted value does not read back as noted, when it holds more
// than kMaxNoted values, and when the table closes.
class CKvRecord::StringDirectory {
 public:
  static constexpr int kCrowded = 8;
  static constexpr size_t kMaxNoted = size_t(1) << 19;
  // A group's values, each as its text hash in the high half and its id in the low half: the
  // first `sorted` in ascending order, the later ones as they came.
  struct Group {
    std::vector<uint64_t> values;
    uint32_t sorted = 0;
    bool whole = false;

    // Calls try(id) for each value with the hash until it answers true; true when one did.
    template <class Try>
    bool Each(uint32_t hash, Try&& attempt) const {
      const uint64_t low = uint64_t(hash) << 32;
      const auto end = values.begin() + sorted;
      for (auto it = std::lower_bound(values.begin(), end, low); it != end && (*it >> 32) == hash; ++it)
        if (attempt(uint32_t(*it))) return true;
      for (auto it = end; it != values.end(); ++it)
        if ((*it >> 32) == hash && attempt(uint32_t(*it))) return true;
      return false;
    }
    bool Has(uint64_t value) const {
      const auto end = values.begin() + sorted;
      return std::binary_search(values.begin(), end, value) || std::find(end, values.end(), value) != values.end();
    }
    void Add(uint64_t value) {
      if (values.size() == values.capacity()) values.reserve(values.size() + values.size() / 4 + 4);
      values.push_back(value);
      // The unsorted tail stays short, so that a look-up in a large group stays a binary search.
      const size_t tail = values.size() - sorted;
      if (tail > 32 && tail > sorted / 8) {
        std::sort(values.begin(), values.end());
        sorted = uint32_t(values.size());
      }
    }
    bool Erase(uint64_t value) {
      const auto end = values.begin() + sorted;
      auto it = std::lower_bound(values.begin(), end, value);
      if (it != end && *it == value) {
        values.erase(it);
        --sorted;
        return true;
      }
      it = std::find(end, values.end(), value);
      if (it == values.end()) return false;
      *it = values.back();
      values.pop_back();
      return true;
    }
  };
  struct KeyHash {
    size_t operator()(const std::array<unsigned char, 16>& k) const {
      uint64_t a, b;
      std::memcpy(&a, k.data(), 8);
      std::memcpy(&b, k.data() + 8, 8);
      return size_t((a * 0x9E3779B97F4A7C15ULL) ^ (b + 0x632BE59BD9B4E5BBULL) * 0xBF58476D1CE4E5B9ULL);
    }
  };
  using Key = std::array<unsigned char, 16>;

  static Key GroupKey(const unsigned char* rec) {
    Key k;
    std::memcpy(k.data(), rec, 16);
    return k;
  }
  // FNV-1a over the kept text of a string-value record (its length byte and bytes).
  static uint32_t TextHash(const unsigned char* rec) {
    uint32_t h = 2166136261u;
    for (int i = 0, n = rec[24] + 1; i < n; ++i) h = (h ^ rec[24 + i]) * 16777619u;
    return h;
  }
  static uint64_t Value(const unsigned char* rec, uint32_t id) { return uint64_t(TextHash(rec)) << 32 | id; }
  // Most columns have no crowded group: their look-ups skip the table of groups.
  Group* Find(const unsigned char* rec) {
    const size_t column = size_t(rec[0]) << 8 | rec[1];
    if (column >= groupsOf.size() || groupsOf[column] == 0) return nullptr;
    const auto it = groups.find(GroupKey(rec));
    return it == groups.end() ? nullptr : &it->second;
  }
  Group& Make(const unsigned char* rec) {
    const auto [it, made] = groups.try_emplace(GroupKey(rec));
    if (made) {
      const size_t column = size_t(rec[0]) << 8 | rec[1];
      if (column >= groupsOf.size()) groupsOf.resize(column + 1);
      ++groupsOf[column];
    }
    return it->second;
  }
  void Note(Group& group, const unsigned char* rec, uint32_t id) {
    const uint64_t value = Value(rec, id);
    if (group.Has(value)) return;
    group.Add(value);
    ++noted;
  }

  std::unordered_map<Key, Group, KeyHash> groups;  // by the 16 key bytes before the id
  std::vector<uint32_t> groupsOf;                   // column number -> its groups here
  size_t noted = 0;
  uint32_t lastStringId = 0;
  uint32_t columnChanges = 0;
};

void CKvRecord::ForgetStringValues() {
  delete Strings_;
  Strings_ = nullptr;
}

CKvRecord::StringDirectory* CKvRecord::CheckedStrings(bool make) {
  if (!Strings_ && !make) return nullptr;
  CKvrTableInfo read;
  const CKvrTableInfo* info = HeldInfo_;
  if (!info) {
    if (!read.Read(*Korva_)) {
      ForgetStringValues();
      return nullptr;
    }
    info = &read;
  }
  if (Strings_ && (info->LastStringId != Strings_->lastStringId || info->ColumnChanges != Strings_->columnChanges ||
                   Strings_->noted > StringDirectory::kMaxNoted))
    ForgetStringValues();
  if (!Strings_ && make) {
    Strings_ = new StringDirectory;
    Strings_->lastStringId = info->LastStringId;
    Strings_->columnChanges = info->ColumnChanges;
  }
  return Strings_;
}

void CKvRecord::NoteStringValue(const unsigned char* rec, uint32_t id) {
  if (Cache_ && id == 0) {
    StringCache::Key(Cache_->key, rec);
    Cache_->Kill(Cache_->key);
  }
  if (!Strings_) return;
  if (id != 0) Strings_->lastStringId = id;
  StringDirectory::Group* group = Strings_->Find(rec);
  if (!group) return;
  if (id != 0)
    Strings_->Note(*group, rec, id);
  else if (group->Erase(StringDirectory::Value(rec, KvrGet32(rec + 16))))
    --Strings_->noted;
}

// ---- Using the string cache ------------------------------------------------------------------

void CKvRecord::ForgetStringCache() {
  delete Cache_;
  Cache_ = nullptr;
}

CKvRecord::StringCache* CKvRecord::InsertCache() {
  if (!Inserting_ || !HeldInfo_ || Version_ < kvrVersion || !Korva_) return nullptr;
  const uint32_t drops = Korva_->Drops();
  if (Cache_ && Cache_->drops != drops) {
    // Another handle wrote the file, or a run's writes failed: nothing noted is known to hold.
    // Counts kept back are with the writes that failed.
    ForgetStringCache();
  }
  if (!Cache_) {
    Cache_ = new StringCache;
    Cache_->drops = drops;
  }
  return Cache_;
}

void CKvRecord::NoteInCache(const unsigned char* rec, uint32_t stringId) {
  StringCache::Key(Cache_->key, rec);
  if (Cache_->Add(Cache_->key, stringId)) return;
  if (!Cache_->Sweep(true)) {
    // Too many recur to keep them all: write what is kept back and begin again.
    if (!WriteKeptCounts()) return;
    Cache_->Sweep(false);
  }
  Cache_->Add(Cache_->key, stringId);
}

bool CKvRecord::Settle(bool writing) {
  // An insert's own holds leave the counts kept back; every other hold and every write gets them.
  if (!writing && Inserting_) return true;
  if (writing && KeptLost_) {
    // What was kept back for this run could not be written: the run is not written either.
    KeptLost_ = false;
    return false;
  }
  return WriteKept();
}

bool CKvRecord::LoseKept() {
  ForgetStringCache();
  KeptLost_ = true;
  return false;
}

bool CKvRecord::WriteKept() { return WriteKeptRefs() && WriteKeptEntries() && WriteKeptCounts(); }

bool CKvRecord::KeepEntry(int keyNumber, const CKvrBuffer& entry) {
  std::vector<StringCache::KeptEntry>& kept = Cache_->numbers;
  if (kept.size() >= StringCache::kEntriesKept && !WriteKeptEntries()) return false;
  if (kept.capacity() < StringCache::kEntriesKept) kept.reserve(StringCache::kEntriesKept);
  StringCache::KeptEntry e{uint8_t(keyNumber), uint8_t(entry.Length()), {}};
  std::memcpy(e.bytes, entry.Data(), size_t(entry.Length()));
  kept.push_back(e);
  return true;
}

bool CKvRecord::WriteKeptEntries() {
  if (!Cache_ || Cache_->numbers.empty()) return true;
  std::vector<StringCache::KeptEntry>& kept = Cache_->numbers;
  // By key, then in key order (the entries of one key are all as long).
  std::sort(kept.begin(), kept.end(), [](const StringCache::KeptEntry& a, const StringCache::KeptEntry& b) {
    return a.key != b.key ? a.key < b.key : std::memcmp(a.bytes, b.bytes, a.length) < 0;
  });
  bool ok = Korva_ != nullptr;
  CKvrBuffer found(ok ? Korva_->DataBlockCap() : 0);
  for (size_t i = 0; ok && i < kept.size(); ++i) {
    const StringCache::KeptEntry& e = kept[i];
    // An entry found there already counts as added, as when it is added at once.
    ok = Korva_->SelectKey(e.key) && (Korva_->Insert(e.bytes, e.length) || Korva_->Read(e.bytes, found.Data()));
  }
  kept.clear();
  if (ok) return true;
  return LoseKept();
}

bool CKvRecord::KeepRef(uint32_t stringId, uint32_t id) {
  std::vector<uint64_t>& refs = Cache_->refs;
  if (refs.size() >= StringCache::kRefsKept && !WriteKeptRefs()) return false;
  if (refs.capacity() < StringCache::kRefsKept) refs.reserve(StringCache::kRefsKept);
  refs.push_back(uint64_t(stringId) << 32 | id);
  return true;
}

namespace {

// Sorts references (string-value id in the high half, record id in the low one): by the id of the
// string value a byte at a time, keeping the order of references to one value, which mostly come
// in the order of their records already; a value whose references do not is sorted on its own.
void SortRefs(std::vector<uint64_t>& refs, std::vector<uint64_t>& room) {
  room.resize(refs.size());
  for (int shift = 32; shift < 64; shift += 8) {
    size_t at[257] = {};
    for (const uint64_t r : refs) ++at[((r >> shift) & 0xFF) + 1];
    if (at[((refs[0] >> shift) & 0xFF) + 1] == refs.size()) continue;  // one digit: nothing moves
    for (int d = 0; d < 256; ++d) at[d + 1] += at[d];
    for (const uint64_t r : refs) room[at[(r >> shift) & 0xFF]++] = r;
    refs.swap(room);
  }
  for (auto run = refs.begin(); run != refs.end();) {
    const auto end = std::find_if(run, refs.end(), [run](uint64_t r) { return r >> 32 != *run >> 32; });
    if (!std::is_sorted(run, end)) std::sort(run, end);
    run = end;
  }
}

}  // namespace

bool CKvRecord::WriteKeptRefs() {
  if (!Cache_ || Cache_->refs.empty()) return true;
  std::vector<uint64_t>& refs = Cache_->refs;
  // In key order: references to one value, and to values made one after another, fill a block
  // together.
  Cache_->sorting.reserve(StringCache::kRefsKept);
  SortRefs(refs, Cache_->sorting);
  bool ok = Korva_ && Korva_->SelectKey(kvrKeyRef);
  CKvrBuffer probe(ok ? Korva_->DataBlockCap() : 0);
  for (size_t i = 0; ok && i < refs.size(); ++i) {
    const KvrKey ref(uint32_t(refs[i] >> 32), uint32_t(refs[i]));
    // A reference found there already counts as added, as when it is added at once.
    ok = Korva_->Insert(ref.bytes, 8) || Korva_->Read(ref.bytes, probe.Data());
  }
  refs.clear();
  if (ok) return true;
  return LoseKept();
}

bool CKvRecord::WriteKeptCounts() {
  if (!Cache_ || Cache_->waiting.empty()) return true;
  StringCache& cache = *Cache_;
  // In key order (prefix, then id), so that values in one block are written one after another.
  const auto& entries = cache.entries;
  const auto& keys = cache.keys;
  std::sort(cache.waiting.begin(), cache.waiting.end(), [&](uint32_t a, uint32_t b) {
    const int order = std::memcmp(&keys[entries[a].at], &keys[entries[b].at], 16);
    return order != 0 ? order < 0 : entries[a].id < entries[b].id;
  });
  const int cap = Korva_ ? Korva_->DataBlockCap() : 0;
  CKvrBuffer rec(std::max(cap, kvrMaxKey));
  bool ok = cap > 0 && Korva_->SelectKey(kvrKeyString) && rec.SetLength(cap);
  KvrKey key;
  for (size_t i = 0; ok && i < cache.waiting.size(); ++i) {
    StringCache::Entry& e = cache.entries[cache.waiting[i]];
    if (e.pending == 0) continue;
    std::memcpy(key.bytes, &keys[e.at], 16);
    key.Put(16, e.id);
    if (!Korva_->Read(key.bytes, rec.Data()) || Korva_->LastResult() < 24 ||
        std::memcmp(rec.Data(), &keys[e.at], 16) != 0) {
      ok = false;
      break;
    }
    const int length = Korva_->LastResult();
    SetBE32(rec.Data() + 20, KvrGet32(rec.Data() + 20) + e.pending);
    if (!Korva_->Update(rec.Data(), length, int(e.pending))) {
      ok = false;
      break;
    }
    e.pending = 0;
  }
  if (ok) {
    cache.waiting.clear();
    return true;
  }
  return LoseKept();
}

bool CKvRecord::FindStringValue(CKvrBuffer& buf, const CKvrColInfo& col, const CKvrValue& value, int colNo) {
  CKvrBuffer sought(256);
  MakeStringValueRecord(sought, col, colNo, value, 0, 0);
  const unsigned char* s = sought.Data();
  const int n = s[24];
  auto matches = [s, n](const unsigned char* r, int length) {
    return length >= 25 + n && r[24] == n && std::memcmp(r + 25, s + 25, size_t(n)) == 0;
  };
  StringDirectory* directory = CheckedStrings(false);
  StringDirectory::Group* group = directory ? directory->Find(s) : nullptr;
  const int cap = Korva_->DataBlockCap();
  if (!Korva_->SelectKey(col.KeyNumber) || !buf.SetLength(cap)) return false;
  if (group) {
    // A noted id whose text differs has the same hash as the text sought; any other difference
    // means the directory no longer tells the truth.
    bool stale = false;
    const uint32_t hash = StringDirectory::TextHash(s);
    const bool found = group->Each(hash, [&](uint32_t id) {
      KvrKey exact;
      std::memcpy(exact.bytes, s, 16);
      exact.Put(16, id);
      if (!Korva_->Read(exact.bytes, buf.Data()) || Korva_->LastResult() < 25 + buf.Data()[24] ||
          StringDirectory::TextHash(buf.Data()) != hash) {
        stale = true;
        return true;
      }
      return matches(buf.Data(), Korva_->LastResult());
    });
    if (found && !stale) {
      buf.SetLength(Korva_->LastResult());
      return true;
    }
    if (stale) {
      ForgetStringValues();
      group = nullptr;
    } else if (group->whole) {
      return false;
    }
  }
  KvrKey key;
  std::memcpy(key.bytes, s, 20);
  int passed = 0;
  for (;;) {
    if (!Korva_->Next(key.bytes, buf.Data())) {
      if (group && db_errdetail == kvNoNext) group->whole = true;
      return false;
    }
    const int length = Korva_->LastResult();
    const unsigned char* r = buf.Data();
    if (length < 20 || std::memcmp(r, s, 16) != 0) {
      if (group) group->whole = true;
      return false;
    }
    if (group && length >= 25 + r[24]) Strings_->Note(*group, r, KvrGet32(r + 16));
    if (matches(r, length)) {
      buf.SetLength(length);
      return true;
    }
    if (!group && ++passed == StringDirectory::kCrowded && CheckedStrings(true)) {
      if (!Korva_->SelectKey(col.KeyNumber)) return false;
      group = &Strings_->Make(s);
      std::memcpy(key.bytes, s, 20);
      continue;
    }
    std::memcpy(key.bytes, r, size_t(std::min(length, kvrMaxKey)));
  }
}

namespace {

// Key of an older-layout string value: column number (4 bytes) and the text with its NUL, cut or
// zero-filled to the key length.
void OlderStringKey(CKvrBuffer& key, const CKvrColInfo& col, int colNo, const CKvrValue& value) {
  const AnsiString image = ImageBytes(value);
  const int width = std::max(col.KeyBytes() - 4, 0);
  const int n = std::min(int(image.size()), width);
  key.Clear();
  key.PutU32(uint32_t(colNo));
  key.PutBytes(image.data(), n);
  key.Fill(0, width - n);
}

}  // namespace

bool CKvRecord::AddStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo) {
  const bool current = Version_ >= kvrVersion;
  const bool unique = col.Type == kvrString && (col.Flags & kvrOptUnique);
  StringCache* cache = current ? InsertCache() : nullptr;
  // A unique text is looked at in the table: whether another record refers to it decides.
  if (cache && !unique) {
    MakeStringValueRecord(cache->sought, col, colNo, value, 0, 0);
    StringCache::Key(cache->key, cache->sought.Data());
    if (const uint32_t hit = cache->Find(cache->key, colNo); hit != StringCache::kNone) {
      // A value this object has met: its use count rises when the kept-back counts are written.
      // A cache forgotten meanwhile went with writes that failed.
      if (!KeepRef(cache->entries[hit].id, id) || Cache_ != cache) return false;
      cache->entries[hit].used = true;
      cache->Raise(hit);
      return true;
    }
  }
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer rec(std::max(cap, kvrMaxKey));
  uint32_t stringId = 0;
  bool created = false;
  int countAt = 20;  // offset of the use count in the string-value record
  if (current) {
    if (FindStringValue(rec, col, value, colNo)) {
      stringId = KvrGet32(rec.Data() + 16);
      uint32_t count = KvrGet32(rec.Data() + 20) + 1;
      if (unique) {
        // The text is taken when another record refers to it; a value left without references
        // (by damage) is taken over with this record's reference as its only one.
        bool own = false;
        if (!WriteKeptRefs() || ReferredByOther(stringId, id, own)) return false;
        if (!own) count = 1;
        if (!Korva_->SelectKey(col.KeyNumber)) return false;
      }
      SetBE32(rec.Data() + 20, count);
      if (!Korva_->Update(rec.Data(), rec.Length())) return false;
    } else {
      stringId = NextCounter(1);
      if (stringId == 0) return false;
      MakeStringValueRecord(rec, col, colNo, value, stringId, 1);
      if (!Korva_->SelectKey(col.KeyNumber) || !Korva_->Insert(rec.Data(), rec.Length())) return false;
      NoteStringValue(rec.Data(), stringId);
      created = true;
    }
  } else {
    CKvrBuffer key(kvrMaxKey);
    OlderStringKey(key, col, colNo, value);
    countAt = key.Length() + 4;
    if (!Korva_->SelectKey(col.KeyNumber) || !rec.SetLength(cap)) return false;
    if (Korva_->Read(key.Data(), rec.Data()) && Korva_->LastResult() >= countAt + 4) {
      rec.SetLength(countAt + 4);
      stringId = KvrGet32(rec.Data() + key.Length());
      SetBE32(rec.Data() + countAt, KvrGet32(rec.Data() + countAt) + 1);
      if (!Korva_->Update(rec.Data(), rec.Length())) return false;
    } else {
      stringId = NextCounter(1);
      if (stringId == 0) return false;
      rec.Assign(key);
      rec.PutU32(stringId);
      rec.PutU32(1);
      if (!Korva_->SelectKey(col.KeyNumber) || !Korva_->Insert(rec.Data(), rec.Length())) return false;
      created = true;
    }
  }
  if (cache && Cache_ == cache) {
    if (KeepRef(stringId, id) && Cache_ == cache) {
      NoteInCache(rec.Data(), stringId);
      return true;
    }
  } else if (Korva_->SelectKey(kvrKeyRef)) {
    const KvrKey ref(stringId, id);
    bool added = Korva_->Insert(ref.bytes, 8);
    if (!added) {
      CKvrBuffer probe(cap);
      added = Korva_->Read(ref.bytes, probe.Data());
    }
    if (added) return true;
  }
  // Take back the string value's new count, or the new string value.
  if (Korva_->SelectKey(col.KeyNumber)) {
    if (created) {
      if (Korva_->Delete(rec.Data()) && current) NoteStringValue(rec.Data(), 0);
    } else {
      SetBE32(rec.Data() + countAt, KvrGet32(rec.Data() + countAt) - 1);
      Korva_->Update(rec.Data(), rec.Length());
    }
  }
  return false;
}

bool CKvRecord::ReferredByOther(uint32_t stringId, uint32_t id, bool& own) {
  own = false;
  if (!Korva_->SelectKey(kvrKeyRef)) return true;
  CKvrBuffer ref(std::max(Korva_->DataBlockCap(), kvrMaxKey));
  KvrKey at(stringId, 0);
  while (Korva_->Next(at.bytes, ref.Data()) && Korva_->LastResult() >= 8 && KvrGet32(ref.Data()) == stringId) {
    const uint32_t other = KvrGet32(ref.Data() + 4);
    if (other != id) return true;
    own = true;
    at.Put(4, other);
  }
  return false;
}

bool CKvRecord::RemoveStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo) {
  // The use count counts references: a record without a reference to the value leaves it alone.
  // A count is lowered only once the references and rises kept back are written, so it never
  // passes below the references, and a value whose last reference goes leaves no count behind
  // in the cache.
  if (!WriteKept()) return false;
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer rec(std::max(cap, kvrMaxKey));
  auto lower = [&](int at) {
    const uint32_t count = KvrGet32(rec.Data() + at);
    SetBE32(rec.Data() + at, count > 0 ? count - 1 : 0);
    return count > 1;
  };
  auto restoreRef = [&](uint32_t stringId) {
    if (Korva_->SelectKey(kvrKeyRef)) Korva_->Insert(KvrKey(stringId, id).bytes, 8);
    return false;
  };
  if (Version_ < kvrVersion) {
    CKvrBuffer key(kvrMaxKey);
    OlderStringKey(key, col, colNo, value);
    const int countAt = key.Length() + 4;
    if (!Korva_->SelectKey(col.KeyNumber) || !rec.SetLength(cap)) return false;
    if (!Korva_->Read(key.Data(), rec.Data()) || Korva_->LastResult() < countAt + 4) return true;
    rec.SetLength(countAt + 4);
    const uint32_t stringId = KvrGet32(rec.Data() + key.Length());
    if (!Korva_->SelectKey(kvrKeyRef) || !Korva_->Delete(KvrKey(stringId, id).bytes)) return true;
    const bool used = lower(countAt);
    if (!Korva_->SelectKey(col.KeyNumber) ||
        !(used ? Korva_->Update(rec.Data(), rec.Length()) : Korva_->Delete(key.Data())))
      return restoreRef(stringId);
    return true;
  }
  if (!FindStringValue(rec, col, value, colNo)) return true;
  const uint32_t stringId = KvrGet32(rec.Data() + 16);
  if (!Korva_->SelectKey(kvrKeyRef) || !Korva_->Delete(KvrKey(stringId, id).bytes)) return true;
  lower(20);
  CKvrBuffer next(cap);
  const bool remains = Korva_->Next(KvrKey(stringId, 0).bytes, next.Data()) && KvrGet32(next.Data()) == stringId;
  if (!Korva_->SelectKey(col.KeyNumber) ||
      !(remains ? Korva_->Update(rec.Data(), rec.Length()) : Korva_->Delete(rec.Data())))
    return restoreRef(stringId);
  if (!remains) NoteStringValue(rec.Data(), 0);
  return true;
}

bool CKvRecord::HasStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo) {
  if (!WriteKeptRefs()) return false;
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer rec(std::max(cap, kvrMaxKey));
  uint32_t stringId = 0;
  if (Version_ >= kvrVersion) {
    if (!FindStringValue(rec, col, value, colNo)) return false;
    stringId = KvrGet32(rec.Data() + 16);
  } else {
    CKvrBuffer key(kvrMaxKey);
    OlderStringKey(key, col, colNo, value);
    if (!Korva_->SelectKey(col.KeyNumber) || !rec.SetLength(cap) || !Korva_->Read(key.Data(), rec.Data()) ||
        Korva_->LastResult() < key.Length() + 4)
      return false;
    stringId = KvrGet32(rec.Data() + key.Length());
  }
  return Korva_->SelectKey(kvrKeyRef) && Korva_->Read(KvrKey(stringId, id).bytes, rec.Data());
}

// ---- Index entries -----------------------------------------------------------------------------

void CKvRecord::NumberEntry(CKvrBuffer& entry, int colNo, bool current, const CKvrValue& value, uint32_t id) {
  entry.Clear();
  PutColumn(entry, colNo, current);
  entry.PutBytes(value.Stored(), std::max(value.StoredLength(), 0));
  entry.PutU32(id);
}

namespace {

bool IsNumberType(char type) { return type == kvrSigned || type == kvrUnsigned || type == kvrReal; }

}  // namespace

bool CKvRecord::WriteIndexEntry(const CKvrColInfo& col, const CKvrValue* value, uint32_t id, int colNo) {
  const CKvrValue empty(col.Type);
  const CKvrValue& v = value ? *value : empty;
  if (!Korva_->SelectKey(col.KeyNumber)) return false;
  if (col.Type == kvrString) return AddStringRef(col, v, id, colNo);
  if (col.Type == kvrSet) {
    const auto texts = IndexedTexts(v);
    for (int i = 0; i < texts->Count(); ++i) {
      if (AddStringRef(col, *texts->GetAt(i), id, colNo)) continue;
      while (--i >= 0) RemoveStringRef(col, *texts->GetAt(i), id, colNo);
      return false;
    }
    return true;
  }
  if (!IsNumberType(col.Type)) return false;
  const bool current = Version_ >= kvrVersion;
  CKvrBuffer entry(kvrMaxKey);
  NumberEntry(entry, colNo, current, v, id);
  if (!(col.Flags & kvrOptUnique) && entry.Length() <= int(sizeof(StringCache::KeptEntry::bytes)) && InsertCache()) {
    // Added with the others kept back, in key order, when the run ends.
    const StringCache* cache = Cache_;
    return KeepEntry(col.KeyNumber, entry) && Cache_ == cache;
  }
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer found(cap);
  found.SetLength(cap);
  if (col.Flags & kvrOptUnique) {
    // Any other record with the same value makes it a duplicate (a unique column's entries are
    // never kept back).
    const int same = entry.Length() - 4;
    CKvrBuffer probe(kvrMaxKey);
    NumberEntry(probe, colNo, current, v, 0);
    while (Korva_->Next(probe.Data(), found.Data()) && std::memcmp(found.Data(), entry.Data(), size_t(same)) == 0) {
      if (KvrGet32(found.Data() + same) != id) return false;
      std::memcpy(probe.Data(), found.Data(), size_t(std::min(Korva_->LastResult(), kvrMaxKey)));
    }
  }
  return Korva_->Insert(entry.Data(), entry.Length()) || Korva_->Read(entry.Data(), found.Data());
}

bool CKvRecord::RemoveIndexEntry(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo) {
  if (!Korva_->SelectKey(col.KeyNumber)) return false;
  if (col.Type == kvrString) return RemoveStringRef(col, value, id, colNo);
  if (col.Type == kvrSet) {
    bool ok = true;
    const auto texts = IndexedTexts(value);
    for (int i = 0; i < texts->Count(); ++i) ok = RemoveStringRef(col, *texts->GetAt(i), id, colNo) && ok;
    return ok;
  }
  if (!IsNumberType(col.Type) || !WriteKept() || !Korva_->SelectKey(col.KeyNumber)) return false;
  CKvrBuffer entry(kvrMaxKey);
  NumberEntry(entry, colNo, Version_ >= kvrVersion, value, id);
  Korva_->Delete(entry.Data());
  return true;
}

bool CKvRecord::HasIndexEntry(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo) {
  if (col.Type == kvrString) return HasStringRef(col, value, id, colNo);
  if (col.Type == kvrSet) {
    const auto texts = IndexedTexts(value);
    for (int i = 0; i < texts->Count(); ++i)
      if (!HasStringRef(col, *texts->GetAt(i), id, colNo)) return false;
    return true;
  }
  if (!IsNumberType(col.Type) || !WriteKeptEntries() || !Korva_->SelectKey(col.KeyNumber)) return false;
  CKvrBuffer entry(kvrMaxKey);
  NumberEntry(entry, colNo, Version_ >= kvrVersion, value, id);
  CKvrBuffer found(Korva_->DataBlockCap());
  found.SetLength(Korva_->DataBlockCap());
  return Korva_->Read(entry.Data(), found.Data());
}

bool CKvRecord::WriteMissingEntries(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo,
                                    CKvrValueList& written) {
  // A set is looked at element by element: the entries of the elements it has already stay as
  // they are, and only the written ones are listed, so a caller taking them back keeps those.
  std::unique_ptr<CKvrValueList> parts;
  if (col.Type == kvrSet) parts = IndexedTexts(value);
  const int first = written.Count();
  const int count = parts ? parts->Count() : 1;
  for (int i = 0; i < count; ++i) {
    const CKvrValue& part = parts ? *parts->GetAt(i) : value;
    if (HasIndexEntry(col, part, id, colNo)) continue;
    if (!WriteIndexEntry(col, &part, id, colNo)) {
      while (written.Count() > first) {
        const int last = written.Count() - 1;
        RemoveIndexEntry(col, *written.GetAt(last), id, colNo);
        delete written.GetAt(last);
        written.Delete(last);
      }
      return false;
    }
    written.Add(part.Clone());
  }
  return true;
}

bool CKvRecord::KeyImagesDiffer(const CKvrColInfo& col, const CKvrValue& a, const CKvrValue& b) {
  CKvrBuffer ra(64), rb(64);
  MakeStringValueRecord(ra, col, 1, a, 1, 1);
  MakeStringValueRecord(rb, col, 1, b, 1, 1);
  return ra.Length() != rb.Length() || std::memcmp(ra.Data(), rb.Data(), size_t(ra.Length())) != 0;
}

int CKvRecord::AddChangedEntries(const CKvrColInfo& col, const CKvrValue& now, const CKvrValue& old, uint32_t id,
                                 int colNo) {
  // A set's elements are indexed each by its own kept bytes: a set whose text is longer than a
  // string value keeps changes its elements also past the bytes the whole text would keep.
  if (col.Type != kvrSet) {
    if (!KeyImagesDiffer(col, now, old)) return 0;
    return WriteIndexEntry(col, &now, id, colNo) ? 1 : -1;
  }
  const auto nowTexts = IndexedTexts(now), oldTexts = IndexedTexts(old);
  int changed = 0;
  for (int i = 0; i < nowTexts->Count(); ++i) {
    const CKvrValue& text = *nowTexts->GetAt(i);
    if (IndexOfImage(*oldTexts, text) >= 0) continue;
    if (!AddStringRef(col, text, id, colNo)) {
      while (--i >= 0)
        if (IndexOfImage(*oldTexts, *nowTexts->GetAt(i)) < 0) RemoveStringRef(col, *nowTexts->GetAt(i), id, colNo);
      return -1;
    }
    ++changed;
  }
  for (int i = 0; i < oldTexts->Count(); ++i)
    if (IndexOfImage(*nowTexts, *oldTexts->GetAt(i)) < 0) ++changed;
  return changed;
}

bool CKvRecord::RemoveChangedEntries(const CKvrColInfo& col, const CKvrValue& a, const CKvrValue& b, uint32_t id,
                                     int colNo) {
  if (col.Type != kvrSet) return !KeyImagesDiffer(col, a, b) || RemoveIndexEntry(col, a, id, colNo);
  const auto aTexts = IndexedTexts(a), bTexts = IndexedTexts(b);
  bool ok = true;
  for (int i = 0; i < aTexts->Count(); ++i)
    if (IndexOfImage(*bTexts, *aTexts->GetAt(i)) < 0) ok = RemoveStringRef(col, *aTexts->GetAt(i), id, colNo) && ok;
  return ok;
}

// ---- Record bodies -----------------------------------------------------------------------------

void CKvRecord::MakeRecordBody(CKvrBuffer& buf, uint32_t id, const CKvrValueList& values) {
  buf.Clear();
  buf.PutU32(id);
  buf.PutU32(0);
  for (int i = 1; i < values.Count(); ++i) {
    const CKvrValue& v = *values.GetAt(i);
    switch (v.Type()) {
      case kvrString:
      case kvrSet: {
        int size = 0;
        if (const unsigned char* image = StringImage(v, size)) {
          buf.PutBytes(image, size);
          break;
        }
        const AnsiString text = v.GetString();
        buf.PutBytes(text.c_str(), int(text.size()) + 1);
        break;
      }
      case kvrSigned:
      case kvrUnsigned:
        if (v.StoredLength() == 4)
          buf.PutBytes(v.Stored(), 4);
        else
          buf.Fill(0, 4);
        break;
      case kvrReal: {
        if (v.StoredLength() == 6)
          buf.PutBytes(v.Stored(), 6);
        else
          buf.Fill(0, 6);
        const char* source = v.SourceText() ? v.SourceText() : "";
        buf.PutBytes(source, int(std::strlen(source)) + 1);
        break;
      }
      default:
        break;
    }
  }
  SetBE32(buf.Data() + 4, uint32_t(buf.Length()));
}

bool CKvRecord::WriteRecordBody(const CKvrValueList& values, uint32_t id, bool newest) {
  CKvrBuffer body(1024);
  MakeRecordBody(body, id, values);
  return WriteBodyImage(body, newest);
}

bool CKvRecord::WriteBodyImage(const CKvrBuffer& body, bool newest) {
  const int cap = Korva_->DataBlockCap();
  const int length = body.Length();
  if (cap <= 5 || length < 8 || length > cap + kvrChunkLimit * (cap - 5)) return false;
  // A new record's body goes after every other: a full block then keeps all it has instead of
  // giving up half, so the bodies a look-up reads lie in half as many blocks.
  auto put = [&](const void* record, int n) { return newest ? Korva_->Append(record, n) : Korva_->Insert(record, n); };
  if (!Korva_->SelectKey(kvrKeyBody)) return false;
  if (length <= cap) return put(body.Data(), length);
  if (!put(body.Data(), cap)) return false;
  const int continuation = KeyCount_;
  if (!Korva_->SelectKey(continuation)) {
    // A file without the continuation key gets it now; the engine adds keys to a closed file.
    Korva_->Close();
    static const int16_t one[2] = {1, 5};
    const bool added = Korva_->AddKeys(FileName_, one);
    Korva_->Open(FileName_);
    if (!added || !Korva_->SelectKey(continuation)) {
      if (Korva_->SelectKey(kvrKeyBody)) Korva_->Delete(KvrKey(KvrGet32(body.Data())).bytes);
      return false;
    }
  }
  unsigned char chunk[8192 + 8];
  if (cap > 8192) return false;
  std::memcpy(chunk, body.Data(), 4);
  int pos = cap;
  for (int n = 0; pos < length; ++n) {
    const int take = std::min(cap - 5, length - pos);
    chunk[4] = uint8_t(n);
    std::memcpy(chunk + 5, body.Data() + pos, size_t(take));
    if (!put(chunk, 5 + take)) {
      while (--n >= 0) {
        chunk[4] = uint8_t(n);
        Korva_->Delete(chunk);
      }
      if (Korva_->SelectKey(kvrKeyBody)) Korva_->Delete(KvrKey(KvrGet32(body.Data())).bytes);
      return false;
    }
    pos += take;
  }
  return true;
}

bool CKvRecord::ReadRecordBody(uint32_t id, CKvrBuffer& buf) {
  const int cap = Korva_ ? Korva_->DataBlockCap() : 0;
  if (cap <= 0 || !buf.SetLength(cap) || !Korva_->SelectKey(kvrKeyBody) || !Korva_->Read(KvrKey(id).bytes, buf.Data()))
    return false;
  buf.SetLength(Korva_->LastResult());
  return ReadBodyChunks(buf);
}

bool CKvRecord::ReadBodyChunks(CKvrBuffer& buf) {
  const int cap = Korva_->DataBlockCap();
  if (buf.Length() < 8) return false;
  const uint32_t total = KvrGet32(buf.Data() + 4);
  if (total <= uint32_t(cap)) return true;
  if (total > uint32_t(cap + kvrChunkLimit * (cap - 5)) || buf.Length() != cap) return false;
  if (!Korva_->SelectKey(KeyCount_)) return false;
  CKvrBuffer chunk(cap);
  chunk.SetLength(cap);
  KvrKey key(KvrGet32(buf.Data()));
  for (int n = 0; n < kvrChunkLimit && uint32_t(buf.Length()) < total; ++n) {
    key.bytes[4] = uint8_t(n);
    if (!Korva_->Read(key.bytes, chunk.Data())) break;
    const int got = Korva_->LastResult() - 5;
    const int take = std::min({int(total) - buf.Length(), cap - 5, got});
    if (take <= 0) break;
    buf.PutBytes(chunk.Data() + 5, take);
  }
  return uint32_t(buf.Length()) == total;
}

bool CKvRecord::DeleteRecordBody(uint32_t id) {
  KvrKey key(id);
  if (!Korva_->SelectKey(kvrKeyBody)) return false;
  const bool deleted = Korva_->Delete(key.bytes);
  if (Korva_->SelectKey(KeyCount_)) {
    for (int n = 0; n < kvrChunkLimit; ++n) {
      key.bytes[4] = uint8_t(n);
      if (!Korva_->Delete(key.bytes)) break;
    }
  }
  return deleted;
}

int CKvRecord::DecodeRecord(CKvrValueList& values, const CKvrBuffer& buf, const CKvrColInfoList& cols) {
  // The list's values are filled again where they are (a query reads record after record into
  // one list); the list ends up with exactly one value per column.
  const int count = std::max(cols.Count(), 1);
  while (values.Count() > count) {
    delete values.GetAt(values.Count() - 1);
    values.Delete(values.Count() - 1);
  }
  // The value of column i, made when the list lacks it; it is filled by the caller.
  auto slot = [&values](int i, char type) {
    CKvrValue* v = values.GetAt(i);
    if (v) return v;
    // A value cleared from the list before is filled again rather than a new one made.
    v = values.Reuse(type);
    if (i < values.Count())
      values.SetItem(i, v);
    else
      values.Add(v);
    return v;
  };
  const unsigned char* p = buf.Data();
  const int length = buf.Length();
  static const unsigned char kNoId[4] = {};
  slot(0, kvrUnsigned)->SetStored(kvrUnsigned, length >= 4 ? p : kNoId, 4);
  const uint32_t stored = length >= 8 ? KvrGet32(p + 4) : 0;
  const int total = length >= 8 ? int(std::min<uint32_t>(stored, uint32_t(length))) : 0;
  // A body is written whole: its length field is its length, and its values end exactly there
  // (the columns added after it was written lie beyond that end). A value that runs past it, or
  // bytes left over, mean the body is damaged, not that a text is shorter.
  bool exact = length >= 8 && stored == uint32_t(length);
  int pos = 8, held = 0;
  for (int i = 1; i < cols.Count(); ++i) {
    const char type = cols.GetAt(i)->Type;
    CKvrValue* v = slot(i, type);
    if (pos < total) {
      const int took = v->SetStored(type, p + pos, total - pos);
      if (took <= 0) exact = false;
      pos = took > 0 ? pos + took : total;
      ++held;
    } else {
      v->Reset(type);
    }
  }
  if (pos != total) exact = false;
  return exact ? held : -1;
}
