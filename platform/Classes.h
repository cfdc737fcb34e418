// Lists and streams: the string list with objects, the pointer list, and byte streams over files
// and memory. Plain objects; any thread may use its own instances.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AnsiString.h"

class TObject {
 public:
  virtual ~TObject() = default;
  // The name of the object's own class ("TPanel"; a derived class has its own name).
  AnsiString ClassName() const;
};

// An object whose state can be copied from another. A source that cannot be copied changes
// nothing.
class TPersistent : public TObject {
 public:
  virtual void Assign(const TPersistent* source) {}
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// The list index error: an index outside a list. what() is UTF-8, as every exception text.
class EListError : public std::out_of_range {
 public:
  explicit EListError(int index);
};

// An ordered list of untyped pointers. Items are not owned. An index outside the list throws
// EListError (a fault of the caller, never of the data).
class TList {
 public:
  virtual ~TList() = default;
  int Count() const { return static_cast<int>(items_.size()); }
  void* Items(int i) const { return items_[CheckIndex(i)]; }
  void SetItem(int i, void* p) { items_[CheckIndex(i)] = p; }
  int Add(void* p);
  void Insert(int i, void* p);
  void Delete(int i);
  int IndexOf(const void* p) const;
  int Remove(const void* p);  // removes the first equal item; its former index or -1
  void Exchange(int i, int j);
  virtual void Clear() { items_.clear(); }

 protected:
  size_t CheckIndex(int i) const;
  std::vector<void*> items_;
};

// A list of Shift_JIS strings, each with an attached object pointer (not owned unless
// OwnsObjects is set, in which case Delete and Clear delete them as TObject).
class TStrings : public TObject {
 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  ~TStrings() override;

  int Count() const { return static_cast<int>(items_.size()); }
  const AnsiString& Strings(int i) const { return items_.at(i).text; }
  const AnsiString& operator[](int i) const { return items_.at(i).text; }
  void* Objects(int i) const { return items_.at(i).object; }
  void SetString(int i, const AnsiString& s);
  void SetObject(int i, void* o);
  void SetItem(int i, const AnsiString& s, void* o);  // string and object together

  int Add(const AnsiString& s) { return AddObject(s, nullptr); }
  int Add(AnsiString&& s);  // takes the text over instead of copying it
  int AddObject(const AnsiString& s, void* o);
  void Insert(int i, const AnsiString& s) { InsertObject(i, s, nullptr); }
  void InsertObject(int i, const AnsiString& s, void* o);
  void Delete(int i);
  void Clear();
  // Room for n strings without growing (a list about to be filled to a known count).
  void Reserve(int n) { items_.reserve(static_cast<size_t>(n > 0 ? n : 0)); }
  void Exchange(int i, int j);
  void Move(int from, int to);
  void Assign(const TStrings& other);  // strings and object pointers
  void AddStrings(const TStrings& other);

  int IndexOf(const AnsiString& s) const;  // exact bytes, first match, -1 when absent
  int IndexOfObject(const void* o) const;

  // Comma text: fields joined by ",". A field holding a byte 0x00-0x20, a double quote or a
  // comma is written in double quotes with inner quotes doubled (trail bytes of double-byte
  // characters are not examined). A single empty field is written as "".
  AnsiString CommaText() const;
  void SetCommaText(const AnsiString& text);

  // Lines joined with CR LF, each line ended; setting splits at CR LF, LF or CR.
  AnsiString Text() const;
  void SetText(const AnsiString& text);

  bool LoadFromFile(const std::string& path);
  bool SaveToFile(const std::string& path) const;

  // Called after every change (controls that show a list hook in here).
  std::function<void()> OnChange;
  bool OwnsObjects = false;

 protected:
  struct Item {
    AnsiString text;
    void* object = nullptr;
  };
  void Changed();
  std::vector<Item> items_;
};

// The usual string list. The framework's own sorted mode is not offered: the program keeps
// lists sorted itself with the byte-order functions of its foundation.
class TStringList : public TStrings {};

class TCollection;

// An item of a collection: it joins the collection when made and leaves it when freed.
class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  TCollection* Collection() const { return collection_; }
  int Index() const;

 protected:
  // Tells the collection that this item (or, with allItems, the whole collection) changed.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_;
};

// An owned list of items of one class. Update runs after every change: with the item that
// changed, or null when items were added or removed or the whole collection changed.
class TCollection : public TPersistent {
 public:
  TCollection() = default;
  ~TCollection() override;  // frees the items
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int i) const { return items_.at(i); }
  TCollectionItem* Add();  // a new item at the end
  void Delete(int i);
  void Clear();
  // Changes between BeginUpdate and the last EndUpdate are reported once, by EndUpdate.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  virtual TPersistent* GetOwner() const { return nullptr; }

 protected:
  virtual TCollectionItem* NewItem() = 0;  // makes an item of the collection's class
  virtual void Update(TCollectionItem* item) {}
  void Changed(TCollectionItem* item = nullptr);

 private:
  friend class TCollectionItem;
  std::vector<TCollectionItem*> items_;
  int updating_ = 0;
  bool clearing_ = false;
};

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  // Bytes actually transferred (0 at the end or on failure).
  virtual long Read(void* buf, long count) = 0;
  virtual long Write(const void* buf, long count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t p) { Seek(p, soBeginning); }
  virtual int64_t Size();
  bool ReadBuffer(void* buf, long count) { return Read(buf, count) == count; }
  bool WriteBuffer(const void* buf, long count) { return Write(buf, count) == count; }
};

enum TFileMode { fmOpenRead = 0, fmOpenWrite = 1, fmOpenReadWrite = 2, fmCreate = 0xFF00 };

class TFileStream : public TStream {
 public:
  // Check IsOpen(): a file that cannot be opened leaves the stream closed, with errno kept.
  TFileStream(const std::string& path, int mode);
  ~TFileStream() override;
  bool IsOpen() const { return fd_ >= 0; }
  long Read(void* buf, long count) override;
  long Write(const void* buf, long count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  int fd_ = -1;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  long Read(void* buf, long count) override;
  long Write(const void* buf, long count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void Clear() {
    data_.clear();
    pos_ = 0;
  }
  void SetSize(int64_t n) { data_.resize(static_cast<size_t>(n)); }
  const char* Memory() const { return data_.data(); }
  const std::string& Bytes() const { return data_; }
  bool LoadFromFile(const std::string& path);
  bool SaveToFile(const std::string& path) const;

 private:
  std::string data_;
  int64_t pos_ = 0;
};
