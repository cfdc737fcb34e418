#include "platform/Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

// ---- TObject ----

AnsiString TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* name = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  AnsiString out = status == 0 && name ? name : mangled;
  std::free(name);
  return out;
}

// ---- TCollection ----

TCollectionItem::TCollectionItem(TCollection* collection) : collection_(collection) {
  if (collection_) collection_->items_.push_back(this);
}

TCollectionItem::~TCollectionItem() {
  if (!collection_) return;
  auto& v = collection_->items_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  if (!collection_->clearing_) collection_->Changed();
}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  const auto& v = collection_->items_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TCollectionItem::Changed(bool allItems) {
  if (collection_) collection_->Changed(allItems ? nullptr : this);
}

TCollection::~TCollection() {
  clearing_ = true;
  while (!items_.empty()) delete items_.back();
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = NewItem();
  Changed();
  return item;
}

void TCollection::Delete(int i) { delete items_.at(i); }

void TCollection::Clear() {
  if (items_.empty()) return;
  clearing_ = true;
  while (!items_.empty()) delete items_.back();
  clearing_ = false;
  Changed();
}

void TCollection::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0) Changed();
}

void TCollection::Changed(TCollectionItem* item) {
  if (updating_ == 0) Update(item);
}

// ---- TList ----

EListError::EListError(int index) : std::out_of_range(Format("リストのインデックスが範囲を超えています (%d)", index)) {}

size_t TList::CheckIndex(int i) const {
  if (i < 0 || i >= Count()) throw EListError(i);
  return static_cast<size_t>(i);
}

int TList::Add(void* p) {
  items_.push_back(p);
  return Count() - 1;
}

void TList::Insert(int i, void* p) { items_.insert(items_.begin() + std::clamp(i, 0, Count()), p); }

void TList::Delete(int i) { items_.erase(items_.begin() + CheckIndex(i)); }

int TList::IndexOf(const void* p) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i] == p) return i;
  return -1;
}

int TList::Remove(const void* p) {
  int i = IndexOf(p);
  if (i >= 0) Delete(i);
  return i;
}

void TList::Exchange(int i, int j) { std::swap(items_[CheckIndex(i)], items_[CheckIndex(j)]); }

// ---- TStrings ----

TStrings::~TStrings() {
  OnChange = nullptr;
  Clear();
}

void TStrings::Changed() {
  if (OnChange) OnChange();
}

void TStrings::SetString(int i, const AnsiString& s) {
  items_.at(i).text = s;
  Changed();
}

void TStrings::SetObject(int i, void* o) {
  items_.at(i).object = o;
  Changed();
}

void TStrings::SetItem(int i, const AnsiString& s, void* o) {
  Item& it = items_.at(i);
  it.text = s;
  it.object = o;
  Changed();
}

int TStrings::AddObject(const AnsiString& s, void* o) {
  items_.push_back({s, o});
  Changed();
  return Count() - 1;
}

int TStrings::Add(AnsiString&& s) {
  items_.push_back({std::move(s), nullptr});
  Changed();
  return Count() - 1;
}

void TStrings::InsertObject(int i, const AnsiString& s, void* o) {
  items_.insert(items_.begin() + std::clamp(i, 0, Count()), Item{s, o});
  Changed();
}

void TStrings::Delete(int i) {
  void* o = items_.at(i).object;
  items_.erase(items_.begin() + i);
  if (OwnsObjects) delete static_cast<TObject*>(o);
  Changed();
}

void TStrings::Clear() {
  if (OwnsObjects)
    for (auto& it : items_) delete static_cast<TObject*>(it.object);
  items_.clear();
  Changed();
}

void TStrings::Exchange(int i, int j) {
  std::swap(items_.at(i), items_.at(j));
  Changed();
}

void TStrings::Move(int from, int to) {
  Item it = items_.at(from);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + std::clamp(to, 0, Count()), it);
  Changed();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  Clear();
  items_ = other.items_;
  Changed();
}

void TStrings::AddStrings(const TStrings& other) {
  std::vector<Item> copy = other.items_;
  items_.insert(items_.end(), copy.begin(), copy.end());
  Changed();
}

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i].text == s) return i;
  return -1;
}

int TStrings::IndexOfObject(const void* o) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i].object == o) return i;
  return -1;
}

namespace {

bool NeedsQuotes(const AnsiString& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsSjisLeadByte(c)) {
      // A lead byte with nothing after it would take the following comma as its trail byte.
      if (i + 1 >= s.size()) return true;
      ++i;
      continue;
    }
    if (c <= 0x20 || c == '"' || c == ',') return true;
  }
  return false;
}

bool IsSeparatorByte(unsigned char c) { return c >= 0x01 && c <= 0x20; }

}  // namespace

AnsiString TStrings::CommaText() const {
  if (Count() == 1 && items_[0].text.empty()) return "\"\"";
  AnsiString out;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) out += ',';
    const AnsiString& s = items_[i].text;
    if (!NeedsQuotes(s)) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(const AnsiString& text) {
  std::vector<Item> fields;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && IsSeparatorByte(static_cast<unsigned char>(text[i]))) ++i;
  // A NUL byte outside quotes ends the text, also before the first field.
  while (i < n && text[i] != '\0') {
    AnsiString field;
    if (text[i] == '"') {
      ++i;
      // Runs to the matching quote; a doubled quote stands for one. A missing closing quote
      // ends the field at the end of the text. Quotes are ASCII, so double-byte characters
      // need no care here: a trail byte is never 0x22.
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
    } else {
      while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsSjisLeadByte(c) && i + 1 < n) {
          field.append(text, i, 2);
          i += 2;
          continue;
        }
        if (c <= 0x20 || c == ',') break;
        field += text[i++];
      }
    }
    fields.push_back({field, nullptr});
    while (i < n && IsSeparatorByte(static_cast<unsigned char>(text[i]))) ++i;
    if (i < n && text[i] == ',') {
      // One comma and the blanks after it; "a," adds no empty field at the end.
      ++i;
      while (i < n && IsSeparatorByte(static_cast<unsigned char>(text[i]))) ++i;
    }
  }
  Clear();
  items_ = std::move(fields);
  Changed();
}

AnsiString TStrings::Text() const {
  AnsiString out;
  for (const auto& it : items_) {
    out += it.text;
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const AnsiString& text) {
  std::vector<Item> lines;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back({text.substr(i, j - i), nullptr});
    if (j < n && text[j] == '\r') {
      ++j;
      if (j < n && text[j] == '\n') ++j;
    } else if (j < n) {
      ++j;  // a lone LF
    }
    i = j;
  }
  Clear();
  items_ = std::move(lines);
  Changed();
}

bool TStrings::LoadFromFile(const std::string& path) {
  TMemoryStream m;
  if (!m.LoadFromFile(path)) return false;
  SetText(m.Bytes());
  return true;
}

bool TStrings::SaveToFile(const std::string& path) const {
  TMemoryStream m(Text());
  return m.SaveToFile(path);
}

// ---- streams ----

int64_t TStream::Size() {
  int64_t here = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

TFileStream::TFileStream(const std::string& path, int mode) {
  int flags;
  if (mode == fmCreate) flags = O_RDWR | O_CREAT | O_TRUNC;
  else if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  else if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  else flags = O_RDONLY;
  fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

long TFileStream::Read(void* buf, long count) {
  if (fd_ < 0 || count <= 0) return 0;
  long done = 0;
  while (done < count) {
    ssize_t r = ::read(fd_, static_cast<char*>(buf) + done, count - done);
    if (r <= 0) break;
    done += r;
  }
  return done;
}

long TFileStream::Write(const void* buf, long count) {
  if (fd_ < 0 || count <= 0) return 0;
  long done = 0;
  while (done < count) {
    ssize_t r = ::write(fd_, static_cast<const char*>(buf) + done, count - done);
    if (r <= 0) break;
    done += r;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (fd_ < 0) return -1;
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(fd_, offset, whence);
}

long TMemoryStream::Read(void* buf, long count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  long n = static_cast<long>(std::min<int64_t>(count, Size() - pos_));
  std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

long TMemoryStream::Write(const void* buf, long count) {
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(pos_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + pos_, buf, count);
  pos_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : Size();
  int64_t p = base + offset;
  if (p < 0) return -1;
  pos_ = p;
  return pos_;
}

bool TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream f(path, fmOpenRead);
  if (!f.IsOpen()) return false;
  std::string bytes;
  char buf[65536];
  long r;
  while ((r = f.Read(buf, sizeof buf)) > 0) bytes.append(buf, r);
  data_ = std::move(bytes);
  pos_ = 0;
  return true;
}

bool TMemoryStream::SaveToFile(const std::string& path) const {
  TFileStream f(path, fmCreate);
  if (!f.IsOpen()) return false;
  return f.Write(data_.data(), static_cast<long>(data_.size())) == static_cast<long>(data_.size()) || data_.empty();
}
