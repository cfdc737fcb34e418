// The check of a table's own invariants and their repair (ReIndex), and how a table that meets
// damage while it works stops writing.
//
// Both work from an inventory: every string value, string reference and number entry the table's
// keys hold, read whole in key order, beside what its record bodies call for (store/KvRecordIndex.cpp
// states the invariants). A body is the truth: entries and references are what its values make,
// a string value's use count is the number of references written for it (one per indexed text
// of a record; a set with two elements equal in their kept bytes writes two for one reference),
// and the counters lie above every id in use. The check compares; ReIndex writes the difference,
// so a sound table is left as it is.
//
// A column added after a record was written lies beyond that record's body: its entries may be
// missing (the record waits for ReIndex), which the check accepts; ReIndex gives such a value its
// automatic value and writes the record again. It never changes a value the body holds.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <set>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"

namespace {

// A number entry as its key holds it: the key number and the entry's bytes.
struct Entry {
  uint8_t key = 0, length = 0;
  uint8_t bytes[16] = {};
  bool operator<(const Entry& o) const {
    if (key != o.key) return key < o.key;
    const int order = std::memcmp(bytes, o.bytes, std::min(length, o.length));
    return order != 0 ? order < 0 : length < o.length;
  }
  bool operator==(const Entry& o) const {
    return key == o.key && length == o.length && std::memcmp(bytes, o.bytes, length) == 0;
  }
};

uint64_t Ref(uint32_t high, uint32_t low) { return uint64_t(high) << 32 | low; }

// A key of n bytes as the engine is handed keys: zero after them, so that a file whose keys are
// longer than the layout says is never read past them.
KvrKey Padded(const unsigned char* bytes, int n) {
  KvrKey key;
  std::memcpy(key.bytes, bytes, size_t(n));
  return key;
}

template <class T>
void SortUnique(std::vector<T>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// Elements of a (sorted) not in b (sorted).
template <class T>
std::vector<T> Minus(const std::vector<T>& a, const std::vector<T>& b) {
  std::vector<T> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

const AnsiString& DamageText() { return SJ("テーブル %s は壊れています。「データ検査」で修復して下さい。"); }

// The table files found damaged in this process, by what tells one file from another: device,
// inode and the time of its last change of state. Every table object of a file sees the mark; a
// file put in its place (the data check's result) or written by another process since is
// another file.
using FileMark = std::array<int64_t, 4>;
std::mutex g_damagedLock;
std::set<FileMark> g_damaged;

bool Mark(const AnsiString& path, FileMark& mark) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mark = {int64_t(st.st_dev), int64_t(st.st_ino), int64_t(st.st_ctim.tv_sec), int64_t(st.st_ctim.tv_nsec)};
  return true;
}

}  // namespace

struct CKvRecord::Inventory {
  // An indexed text of a column: its column number, length byte and kept bytes, as a string
  // value's record holds them. least/most: the references and the use count its records call
  // for (most also counts the columns that lie beyond a body, whose entries may be missing).
  struct Image {
    std::string key;
    uint32_t sid = 0;  // the string value the table holds for it, 0 when none
    uint32_t least = 0, most = 0;
  };
  std::vector<Image> images;
  std::unordered_map<std::string, uint32_t> imageAt;
  // The string values found: key bytes (20) and use count, by id.
  struct Value {
    unsigned char key[20];
    uint32_t count;
    uint32_t image;
  };
  std::unordered_map<uint32_t, Value> values;
  std::vector<std::array<unsigned char, 20>> spare;  // records of key 7 no text may keep
  std::vector<uint64_t> refs;                        // found: string-value id, record id
  std::vector<uint64_t> wanted, optional;            // called for: image index, record id
  std::vector<Entry> entries, wantedEntries, optionalEntries;
  std::vector<uint32_t> badBodies;
  uint32_t highestRecord = 0;
  int records = 0;
  CKvrTableInfo info;

  uint32_t ImageOf(const CKvrBuffer& rec) {
    const unsigned char* r = rec.Data();
    std::string key(reinterpret_cast<const char*>(r), 2);
    key.append(reinterpret_cast<const char*>(r + 24), size_t(r[24]) + 1);
    const auto [it, made] = imageAt.try_emplace(std::move(key), uint32_t(images.size()));
    if (made) images.push_back(Image{it->first});
    return it->second;
  }
};

namespace {

// Calls take(record, length) with every record of key `key` in key order; false when the walk
// met damage.
template <class Take>
bool EachRecord(CKorva& file, int key, Take take) {
  const uint32_t damage = file.Failures();
  const int cap = file.DataBlockCap();
  if (cap <= 0 || !file.SelectKey(key)) return file.Failures() == damage;
  std::vector<unsigned char> buf(size_t(cap) + 1);
  KvrKey at;
  for (bool ok = file.First(buf.data()); ok; ok = file.Next(at.bytes, buf.data())) {
    const int length = file.LastResult();
    take(buf.data(), length);
    std::memcpy(at.bytes, buf.data(), size_t(std::min(length, kvrMaxKey)));
  }
  return file.Failures() == damage;
}

// What the table holds against what its bodies call for.
struct Differences {
  std::vector<Entry> addEntries, dropEntries;
  std::vector<uint64_t> addRefs, dropRefs;  // string-value id, record id
  std::vector<uint32_t> makeValues;         // images without a string value
  std::vector<uint32_t> dropValues;         // ids of string values no record holds
  std::vector<uint32_t> recount;            // ids of string values with a wrong use count
  uint32_t highestString = 0;               // the highest string-value id that stays
};

// The references called for of image i, as (image, record id), from the sorted list.
struct Span {
  std::vector<uint64_t>::const_iterator first, last;
  size_t size() const { return size_t(last - first); }
  auto begin() const { return first; }
  auto end() const { return last; }
};
Span WantedOf(const CKvRecord::Inventory& inv, uint32_t i) {
  const auto [first, last] = std::equal_range(inv.wanted.begin(), inv.wanted.end(), Ref(i, 0),
                                              [](uint64_t a, uint64_t b) { return (a >> 32) < (b >> 32); });
  return Span{first, last};
}

Differences Compare(CKvRecord::Inventory& inv, KvrTableCheck& report) {
  Differences d;
  SortUnique(inv.wanted);
  SortUnique(inv.optional);
  SortUnique(inv.entries);
  SortUnique(inv.wantedEntries);
  SortUnique(inv.optionalEntries);
  d.addEntries = Minus(inv.wantedEntries, inv.entries);
  d.dropEntries = Minus(Minus(inv.entries, inv.wantedEntries), inv.optionalEntries);
  // References: a text without its string value gets one; the references of a value no record
  // holds go with it.
  std::vector<uint64_t> wanted, optional;
  for (const uint64_t w : inv.wanted) {
    const uint32_t sid = inv.images[w >> 32].sid;
    if (sid != 0) wanted.push_back(Ref(sid, uint32_t(w)));
  }
  for (const uint64_t w : inv.optional) {
    const uint32_t sid = inv.images[w >> 32].sid;
    if (sid != 0) optional.push_back(Ref(sid, uint32_t(w)));
  }
  SortUnique(wanted);
  SortUnique(optional);
  SortUnique(inv.refs);
  d.addRefs = Minus(wanted, inv.refs);
  d.dropRefs = Minus(Minus(inv.refs, wanted), optional);
  for (uint32_t i = 0; i < inv.images.size(); ++i) {
    const CKvRecord::Inventory::Image& image = inv.images[i];
    if (image.sid == 0 && image.least > 0) d.makeValues.push_back(i);
  }
  for (const auto& [sid, value] : inv.values) {
    const CKvRecord::Inventory::Image& image = inv.images[value.image];
    if (image.sid != sid || image.most == 0) {
      d.dropValues.push_back(sid);
      continue;
    }
    d.highestString = std::max(d.highestString, sid);
    // Counts follow the references as they will be: those found, less the dropped, plus the added.
    if (value.count < image.least || value.count > image.most) d.recount.push_back(sid);
  }
  std::sort(d.dropValues.begin(), d.dropValues.end());
  std::sort(d.recount.begin(), d.recount.end());
  report.records = inv.records;
  report.badBodies = int(inv.badBodies.size());
  report.missingEntries = int(d.addEntries.size() + d.addRefs.size());
  for (const uint32_t i : d.makeValues) {
    ++report.missingValues;
    report.missingEntries += int(WantedOf(inv, i).size());
  }
  report.extraEntries = int(d.dropEntries.size() + d.dropRefs.size());
  report.orphanValues = int(d.dropValues.size() + inv.spare.size());
  report.wrongCounts = int(d.recount.size());
  uint32_t highestInUse = d.highestString;
  for (const uint64_t r : inv.refs) highestInUse = std::max(highestInUse, uint32_t(r >> 32));
  for (const auto& [sid, value] : inv.values) highestInUse = std::max(highestInUse, sid);
  report.counterBehind = highestInUse > inv.info.LastStringId || inv.highestRecord > inv.info.LastRecId;
  return d;
}

}  // namespace

bool CKvRecord::TakeInventory(Inventory& inv, KvrProgress progress, void* context, const BodyFill& fill) {
  if (!WriteKept() || !inv.info.Read(*Korva_)) return false;
  const bool current = Version_ >= kvrVersion;
  CKvrValueList values;
  CKvrBuffer body(1024), rec(256), entry(kvrMaxKey);
  const uint32_t damage = Korva_->Failures();
  uint32_t id = 0;
  int visited = 0;
  // The bodies, and what each calls for.
  for (bool first = true; NextBody(id, first, body); first = false) {
    if (progress && progress(context, visited) < 0) return false;
    ++visited;
    id = KvrGet32(body.Data());
    inv.highestRecord = std::max(inv.highestRecord, id);
    int held = ReadBodyChunks(body) ? DecodeRecord(values, body, *Cols_) : -1;
    if (held < 0) {
      inv.badBodies.push_back(id);
      continue;
    }
    if (fill) fill(id, body, values, held);
    ++inv.records;
    if (!current) continue;
    for (int i = 1; i < Cols_->Count(); ++i) {
      const CKvrColInfo& col = *Cols_->GetAt(i);
      const bool beyond = i > held;
      const CKvrValue& v = *values.GetAt(i);
      if (col.Type == kvrString || col.Type == kvrSet) {
        const auto texts = IndexedTexts(v);
        std::vector<uint32_t> seen;
        for (int t = 0; t < texts->Count(); ++t) {
          MakeStringValueRecord(rec, col, i, *texts->GetAt(t), 0, 0);
          const uint32_t image = inv.ImageOf(rec);
          ++inv.images[image].most;
          if (std::find(seen.begin(), seen.end(), image) != seen.end()) continue;
          seen.push_back(image);
          if (beyond) {
            inv.optional.push_back(Ref(image, id));
          } else {
            ++inv.images[image].least;
            inv.wanted.push_back(Ref(image, id));
          }
        }
      } else if (col.Type == kvrSigned || col.Type == kvrUnsigned || col.Type == kvrReal) {
        NumberEntry(entry, i, true, v, id);
        Entry e;
        e.key = uint8_t(col.KeyNumber);
        e.length = uint8_t(std::min(entry.Length(), int(sizeof e.bytes)));
        std::memcpy(e.bytes, entry.Data(), e.length);
        (beyond ? inv.optionalEntries : inv.wantedEntries).push_back(e);
      }
    }
  }
  if (Korva_->Failures() != damage || !current) return Korva_->Failures() == damage;
  // What the keys hold; the progress goes on being asked now and then (with the bodies' count).
  int scanned = 0;
  bool stopped = false;
  auto step = [&] {
    if (progress && ++scanned % 4096 == 0 && !stopped) stopped = progress(context, visited) < 0;
  };
  bool ok = EachRecord(*Korva_, kvrKeyString, [&](const unsigned char* r, int length) {
    step();
    std::array<unsigned char, 20> key{};
    std::memcpy(key.data(), r, size_t(std::min(length, 20)));
    const int column = r[0] << 8 | r[1];
    const CKvrColInfo* col = length >= 25 ? Cols_->GetAt(column) : nullptr;
    if (!col || (col->Type != kvrString && col->Type != kvrSet) || length < 25 + r[24]) {
      inv.spare.push_back(key);
      return;
    }
    rec.Clear();
    rec.PutBytes(r, 25 + r[24]);
    const uint32_t image = inv.ImageOf(rec), sid = KvrGet32(r + 16);
    Inventory::Value value{};
    std::memcpy(value.key, r, 20);
    value.count = KvrGet32(r + 20);
    value.image = image;
    if (sid == 0 || !inv.values.emplace(sid, value).second) {
      inv.spare.push_back(key);
      return;
    }
    // The first string value of a text is the one it keeps (ids rise in key order of one text).
    if (inv.images[image].sid == 0) inv.images[image].sid = sid;
  });
  ok = ok && EachRecord(*Korva_, kvrKeyRef, [&](const unsigned char* r, int length) {
         step();
         if (length >= 8) inv.refs.push_back(Ref(KvrGet32(r), KvrGet32(r + 4)));
       });
  for (const int key : {int(kvrKeySigned), int(kvrKeyUnsigned), int(kvrKeyReal)})
    ok = ok && EachRecord(*Korva_, key, [&](const unsigned char* r, int length) {
           step();
           Entry e;
           e.key = uint8_t(key);
           e.length = uint8_t(std::min(length, int(sizeof e.bytes)));
           std::memcpy(e.bytes, r, e.length);
           inv.entries.push_back(e);
         });
  return ok && !stopped;
}

int CKvRecord::CheckTable(KvrTableCheck* report) {
  KvrTableCheck spare;
  KvrTableCheck& r = report ? *report : spare;
  r = KvrTableCheck();
  const int opened = Open();
  if (opened < 0) return -1;
  int result = -1;
  {
    CKvrLock lock(Korva_);
    Inventory inv;
    if (lock.Taken() && TakeInventory(inv, nullptr, nullptr, nullptr)) {
      Compare(inv, r);
      result = r.Sound() ? inv.records : -1;
    }
  }
  if (opened == 0) Close();
  return result;
}

int KvrCheckTableFile(const AnsiString& path, KvrTableCheck* report) {
  // A file is a record table when its table records say so: the table information, and column 0.
  CKorva probe;
  if (!probe.Open(path)) return -1;
  {
    CKorvaHold hold(probe);
    CKvrTableInfo info;
    CKvrColInfo first;
    if (!info.Read(probe) || !first.Read(probe, kvrRecColumn) || first.Name != kvrRecIdName)
      return probe.Failures() ? -1 : kvrNotATable;
  }
  probe.Close();
  // The check reports its finding through its answer; the table's own messages stay unshown.
  const bool quiet = ErrorQuiet.exchange(true);
  CKvRecord table;
  table.SetFileName(path);
  const int result = table.CheckTable(report);
  ErrorQuiet = quiet;
  return result;
}

// ---- Damage met while working ---------------------------------------------------------------

bool CKvRecord::NoteDamage(bool bodyDamaged) {
  const uint32_t damage = Korva_ ? Korva_->DamageMet() : DamageSeen_;
  const uint32_t failures = Korva_ ? Korva_->Failures() : FailuresSeen_;
  const bool engine = damage != DamageSeen_, unreadable = failures - damage != FailuresSeen_ - DamageSeen_;
  DamageSeen_ = damage;
  FailuresSeen_ = failures;
  if (engine || bodyDamaged) {
    SetDamaged(true);
    if (engine || !BodyDamageShown_) ReportError(DamageText().c_str(), FileName_.c_str());
    if (!engine) BodyDamageShown_ = true;
    return true;
  }
  // A block the system could not read: what was asked for fails, the file is not marked.
  if (unreadable) ReportError(SJ("テーブル %s が読めません。").c_str(), FileName_.c_str());
  return unreadable;
}

void CKvRecord::SetDamaged(bool damaged) {
  FileMark mark;
  if (!Mark(FileName_, mark)) return;
  std::lock_guard<std::mutex> hold(g_damagedLock);
  if (damaged)
    g_damaged.insert(mark);
  else
    g_damaged.erase(mark);
}

bool CKvRecord::DamageFound() const {
  FileMark mark;
  if (!Mark(FileName_, mark)) return false;
  std::lock_guard<std::mutex> hold(g_damagedLock);
  return g_damaged.count(mark) > 0;
}

bool CKvRecord::RefuseDamaged() {
  if (!DamageFound()) return false;
  ReportError(DamageText().c_str(), FileName_.c_str());
  return true;
}

// ---- Re-index ----------------------------------------------------------------------------------

int CKvRecord::ReIndexMissing(KvrProgress progress, void* context) {
  int added = 0;
  CKvrLock lock(Korva_);
  CKvrValueList values;
  int visited = 0;
  uint32_t id = 0;
  CKvrBuffer body(1024);
  for (bool first = true; NextBody(id, first, body); first = false) {
    if (progress && progress(context, visited) < 0) return -1;
    ++visited;
    id = KvrGet32(body.Data());
    if (!ReadBodyChunks(body) || DecodeRecord(values, body, *Cols_) < 0) {
      WriteLog(SJ("レコード %u は壊れているので飛ばします。").c_str(), id);
      continue;
    }
    // Per column, the entries this record got here; only those are taken back on failure.
    std::vector<std::pair<int, std::unique_ptr<CKvrValueList>>> written;
    bool ok = true;
    for (int i = 1; ok && i < Cols_->Count(); ++i) {
      const CKvrColInfo& col = *Cols_->GetAt(i);
      if (HasIndexEntry(col, *values.GetAt(i), id, i)) continue;
      auto entries = std::make_unique<CKvrValueList>();
      ok = WriteMissingEntries(col, *values.GetAt(i), id, i, *entries);
      if (ok) written.emplace_back(i, std::move(entries));
    }
    if (!ok) {
      for (auto it = written.rbegin(); it != written.rend(); ++it)
        for (int k = it->second->Count() - 1; k >= 0; --k)
          RemoveIndexEntry(*Cols_->GetAt(it->first), *it->second->GetAt(k), id, it->first);
      WriteLog(SJ("レコード %u のインデックスを書き込めないので飛ばします。").c_str(), id);
      continue;
    }
    added += int(written.size());
  }
  if (NoteDamage() || !lock.Release()) return -1;
  return added;
}

int CKvRecord::ReIndex(KvrProgress progress, void* context) {
  const int opened = Open();
  if (opened < 0) return -1;
  int added = 0;
  if (Version_ < kvrVersion) {
    added = ReIndexMissing(progress, context);
    if (opened == 0) Close();
    return added;
  }
  bool sound = false;
  const bool damaged = DamageFound();
  {
    CKvrLock lock(Korva_);
    // The columns added after a record was written get their automatic values, record by record
    // in id order (a serial number follows the one before), and the record is written again.
    const BodyFill fill = [&](uint32_t id, CKvrBuffer& body, CKvrValueList& values, int& held) {
      if (held + 1 >= Cols_->Count()) return;
      int i = held + 1;
      for (; i < Cols_->Count(); ++i) {
        SetAutoValue(*values.GetAt(i), i, false);
        if (!WriteIndexEntry(*Cols_->GetAt(i), values.GetAt(i), id, i)) break;
      }
      if (i == Cols_->Count()) {
        DeleteRecordBody(id);
        if (WriteRecordBody(values, id)) {
          added += Cols_->Count() - 1 - held;
          held = Cols_->Count() - 1;
          return;
        }
        WriteBodyImage(body);
      }
      while (--i > held) RemoveIndexEntry(*Cols_->GetAt(i), *values.GetAt(i), id, i);
      DecodeRecord(values, body, *Cols_);
      WriteLog(SJ("レコード %u のインデックスを書き込めないので飛ばします。").c_str(), id);
    };
    // Then the difference between what the keys hold and what the bodies call for.
    Inventory inv;
    KvrTableCheck found;
    bool ok = lock.Taken() && TakeInventory(inv, progress, context, fill);
    if (ok) {
      for (const uint32_t bad : inv.badBodies) WriteLog(SJ("レコード %u は壊れているので飛ばします。").c_str(), bad);
      Differences d = Compare(inv, found);
      const int cap = Korva_->DataBlockCap();
      CKvrBuffer rec(std::max(cap, kvrMaxKey));
      rec.SetLength(cap);
      // Away with what no record needs: references, entries, string values.
      ok = Korva_->SelectKey(kvrKeyRef);
      for (const uint64_t r : d.dropRefs) ok = ok && Korva_->Delete(KvrKey(uint32_t(r >> 32), uint32_t(r)).bytes);
      for (const Entry& e : d.dropEntries) ok = ok && Korva_->SelectKey(e.key) && Korva_->Delete(Padded(e.bytes, e.length).bytes);
      ok = ok && Korva_->SelectKey(kvrKeyString);
      for (const uint32_t sid : d.dropValues) ok = ok && Korva_->Delete(Padded(inv.values[sid].key, 20).bytes);
      for (const auto& key : inv.spare) ok = ok && Korva_->Delete(Padded(key.data(), 20).bytes);
      // The counters above every id that stays; new string values above them.
      uint32_t nextString = std::max(inv.info.LastStringId, d.highestString);
      for (const uint32_t image : d.makeValues) {
        Inventory::Image& im = inv.images[image];
        im.sid = ++nextString;
        rec.Clear();
        rec.PutBytes(im.key.data(), 2);
        const unsigned char n = uint8_t(im.key[2]);
        rec.PutBytes(im.key.data() + 3, std::min<int>(n, kvrTextPrefix));
        rec.Fill(0, kvrTextPrefix - std::min<int>(n, kvrTextPrefix));
        rec.PutU32(im.sid);
        rec.PutU32(im.most);
        rec.PutBytes(&n, 1);
        rec.PutBytes(im.key.data() + 3, n);
        ok = ok && Korva_->Insert(rec.Data(), rec.Length());
        for (const uint64_t w : WantedOf(inv, image)) d.addRefs.push_back(Ref(im.sid, uint32_t(w)));
      }
      CKvrTableInfo info = inv.info;
      info.LastStringId = nextString;
      info.LastRecId = std::max(info.LastRecId, inv.highestRecord);
      if (ok && (info.LastStringId != inv.info.LastStringId || info.LastRecId != inv.info.LastRecId))
        ok = info.Write(*Korva_);
      // What records need and lack.
      std::sort(d.addRefs.begin(), d.addRefs.end());
      ok = ok && Korva_->SelectKey(kvrKeyRef);
      for (const uint64_t r : d.addRefs) ok = ok && Korva_->Insert(KvrKey(uint32_t(r >> 32), uint32_t(r)).bytes, 8);
      for (const Entry& e : d.addEntries) ok = ok && Korva_->SelectKey(e.key) && Korva_->Insert(e.bytes, e.length);
      added += int(d.addRefs.size() + d.addEntries.size());
      // Use counts: the references written for each value.
      ok = ok && Korva_->SelectKey(kvrKeyString);
      for (const uint32_t sid : d.recount) {
        if (!ok) break;
        rec.SetLength(cap);
        const Inventory::Value& v = inv.values[sid];
        ok = Korva_->Read(Padded(v.key, 20).bytes, rec.Data()) && Korva_->LastResult() >= 24;
        if (!ok) break;
        const int length = Korva_->LastResult();
        const uint32_t count = inv.images[v.image].most;
        rec.Data()[20] = uint8_t(count >> 24);
        rec.Data()[21] = uint8_t(count >> 16);
        rec.Data()[22] = uint8_t(count >> 8);
        rec.Data()[23] = uint8_t(count);
        ok = Korva_->Update(rec.Data(), length);
      }
      sound = ok && inv.badBodies.empty();
    }
    ForgetStringValues();
    ForgetStringCache();
    if (!ok) added = -1;
    if (NoteDamage() || !lock.Release()) added = -1;
  }
  // Its writes changed the file: a table still damaged is marked again as it now is.
  SetDamaged(damaged && !(added >= 0 && sound));
  if (opened == 0) Close();
  return added;
}
