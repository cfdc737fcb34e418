#include "store/Kvrvalue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A stretch of text without NUL bytes; ends where n says.
struct Text {
  const unsigned char* p;
  size_t n;
};

bool IsWhite(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsHalfKana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsInteger(char type) { return type == kvrSigned || type == kvrUnsigned; }

// An integer text as "%d" reads it: white space, an optional sign, decimal digits; false without
// a digit. The number stops growing once it lies far outside every 32-bit range.
bool ScanInteger(const char* text, long long& value) {
  size_t i = 0;
  while (IsWhite(static_cast<unsigned char>(text[i]))) ++i;
  const bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  if (!IsDigit(text[i])) return false;
  long long v = 0;
  for (; IsDigit(text[i]); ++i)
    if (v < (1LL << 40)) v = v * 10 + (text[i] - '0');
  value = negative ? -v : v;
  return true;
}

// Bytes of the character at i: a lead byte with a byte after it inside the text makes two.
size_t CharLen(const unsigned char* p, size_t i, size_t n) { return IsSjisLeadByte(p[i]) && i + 1 < n ? 2 : 1; }

uint32_t GetBE32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void PutBE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// The elements of a set text: split at commas that are characters of their own, white space at
// the start of each element skipped. "" is one empty element; "a," is "a" and "".
class SetElements {
 public:
  explicit SetElements(Text t) : t_(t) {}
  bool Next(Text& element) {
    if (done_) return false;
    size_t start = pos_;
    while (start < t_.n && IsWhite(t_.p[start])) ++start;
    size_t k = start;
    while (k < t_.n && t_.p[k] != ',') k += CharLen(t_.p, k, t_.n);
    element = Text{t_.p + start, k - start};
    if (k < t_.n)
      pos_ = k + 1;
    else
      done_ = true;
    return true;
  }

 private:
  Text t_;
  size_t pos_ = 0;
  bool done_ = false;
};

int ByteAt(Text t, size_t i) { return i < t.n ? t.p[i] : 0; }

// Unsigned byte order; the end of a text counts as byte 0.
int CompareBytes(Text a, Text b) {
  for (size_t i = 0;; ++i) {
    const int ca = ByteAt(a, i);
    const int cb = ByteAt(b, i);
    if (ca != cb || ca == 0) return ca - cb;
  }
}

// Order of the EUC-JP forms: Shift_JIS byte order but for half-width katakana, which come before
// every double-byte character.
int CompareEucText(Text a, Text b) {
  bool trail = false;  // a[i] is the second byte of a pair
  for (size_t i = 0;; ++i) {
    if (i >= a.n) return -ByteAt(b, i);
    const int ca = a.p[i];
    const int cb = ByteAt(b, i);
    if (ca != cb) {
      const int d = ca - cb;
      if (trail) return d;
      const bool leadA = IsSjisLeadByte(static_cast<unsigned char>(ca));
      const bool leadB = IsSjisLeadByte(static_cast<unsigned char>(cb));
      if (!leadA && leadB) return IsHalfKana(static_cast<unsigned char>(ca)) ? -1 : d;
      if (leadA && !leadB) return IsHalfKana(static_cast<unsigned char>(cb)) ? 1 : d;
      return d;
    }
    trail = !trail && IsSjisLeadByte(static_cast<unsigned char>(ca));
  }
}

// One set element against a text: equal when both end together, -1 when the element ends first.
int CompareElement(Text e, Text b) {
  for (size_t i = 0;; ++i) {
    if (i >= e.n) return i >= b.n ? 0 : -1;
    const int cb = ByteAt(b, i);
    if (e.p[i] != cb) return e.p[i] - cb;
  }
}

// A set equals every one of its elements; otherwise it ranks as its last element.
int CompareSet(Text set, Text b, bool euc) {
  if (set.n == 0) return b.n == 0 ? 0 : -1;
  SetElements elements(set);
  Text e;
  int last = 0;
  while (elements.Next(e)) {
    last = euc ? CompareEucText(e, b) : CompareElement(e, b);
    if (last == 0) return 0;
  }
  return last;
}

// LIKE: '%' stands for any run of characters, '\' makes the next character literal; both only
// as characters of their own, never as the second byte of a pair. On a mismatch after a '%' the
// match is tried again with that '%' taking one more character of the text, so every way of
// splitting the text is tried ("aaab" matches "%aab").
bool LikeMatch(Text text, Text pat) {
  size_t t = 0;
  size_t p = 0;
  bool starSeen = false;
  size_t starP = 0;  // pattern position after the last '%'
  size_t starT = 0;  // text position that '%' has reached
  for (;;) {
    bool matched = false;
    if (p >= pat.n) {
      if (t >= text.n) return true;
    } else if (pat.p[p] == '%') {
      p += 1;
      if (p >= pat.n) return true;
      starSeen = true;
      starP = p;
      starT = t;
      continue;
    } else {
      size_t q = p;
      if (pat.p[q] == '\\') {
        q += 1;
        if (q >= pat.n) {  // a '\' that ends the pattern ends it
          p = q;
          continue;
        }
      }
      const size_t plen = CharLen(pat.p, q, pat.n);
      if (t < text.n) {
        const size_t tlen = CharLen(text.p, t, text.n);
        if (tlen == plen && std::memcmp(text.p + t, pat.p + q, plen) == 0) {
          t += tlen;
          p = q + plen;
          matched = true;
        }
      }
    }
    if (matched) continue;
    if (!starSeen || starT >= text.n) return false;
    starT += CharLen(text.p, starT, text.n);
    t = starT;
    p = starP;
  }
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double Pow10(int k) { return k < 23 ? kPow10[k] : std::pow(10.0, k); }

}  // namespace

// ---- construction ----

CKvrValue::CKvrValue() : CKvrValue(kvrString) {}

CKvrValue::CKvrValue(char type) : inline_{}, empty_(true), data_(inline_), length_(4), type_(type) {
  if (type == kvrString || type == kvrSet)
    length_ = 1;
  else if (type == kvrReal)
    length_ = 6;
}

CKvrValue::CKvrValue(unsigned value) : CKvrValue(kvrUnsigned) {
  PutBE32(inline_, value);
  empty_ = false;
}

CKvrValue::CKvrValue(const char* bytes, int n) : CKvrValue(kvrString) {
  if (bytes == nullptr || n < 0) n = 0;
  length_ = 0;
  AnsiString stored(bytes ? bytes : "", static_cast<size_t>(n));
  stored.push_back('\0');
  SetBytes(reinterpret_cast<const unsigned char*>(stored.data()), static_cast<int>(stored.size()));
  empty_ = false;
}

CKvrValue::CKvrValue(const CKvrValue& other) : inline_{}, empty_(true), data_(inline_), length_(0), type_(other.type_) {
  Assign(other);
}

CKvrValue& CKvrValue::operator=(const CKvrValue& other) {
  Assign(other);
  return *this;
}

CKvrValue::~CKvrValue() { Clear(); }

void CKvrValue::Assign(const CKvrValue& other) {
  if (&other == this) return;
  Clear();
  type_ = other.type_;
  std::memcpy(inline_, other.inline_, sizeof inline_);
  SetBytes(other.data_, other.length_);
  if (other.hasSource_) SetSource(other.source_.get(), std::strlen(other.source_.get()));
  empty_ = other.empty_;
  beyond_ = other.beyond_;
}

CKvrValue* CKvrValue::Clone() const { return new CKvrValue(*this); }

void CKvrValue::Clear() {
  Blank();
  heap_.reset();
  heapSize_ = 0;
  source_.reset();
  sourceSize_ = 0;
}

void CKvrValue::Blank() {
  data_ = inline_;
  std::memset(inline_, 0, sizeof inline_);
  length_ = 0;
  hasSource_ = false;
  empty_ = true;
  beyond_ = 0;
}

void CKvrValue::Reset(char type) {
  Blank();
  type_ = type;
  length_ = type == kvrString || type == kvrSet ? 1 : type == kvrReal ? 6 : 4;
}

void CKvrValue::SetBytes(const unsigned char* bytes, int n) {
  data_ = inline_;
  if (n < 0) n = 0;
  if (n > static_cast<int>(sizeof inline_)) {
    if (n > heapSize_) {
      heap_ = std::make_unique<unsigned char[]>(static_cast<size_t>(n));
      heapSize_ = n;
    }
    data_ = heap_.get();
  }
  if (n > 0) std::memmove(data_, bytes, static_cast<size_t>(n));
  length_ = n;
}

void CKvrValue::SetSource(const char* text, size_t n) {
  if (n + 1 > static_cast<size_t>(sourceSize_)) {
    source_ = std::make_unique<char[]>(n + 1);
    sourceSize_ = static_cast<int32_t>(n + 1);
  }
  std::memcpy(source_.get(), text, n);
  source_[n] = '\0';
  sourceLength_ = static_cast<int32_t>(n);
  hasSource_ = true;
}

size_t CKvrValue::TextLength() const {
  if (length_ <= 0) return 0;
  const void* nul = std::memchr(data_, 0, static_cast<size_t>(length_));
  return nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - data_) : static_cast<size_t>(length_);
}

// ---- setting ----

void CKvrValue::SetText(const char* text) {
  // The text may be this value's own source text, which Clear frees.
  const bool none = text == nullptr;
  const AnsiString copy = none ? AnsiString() : AnsiString(text);
  Clear();
  empty_ = false;
  switch (type_) {
    case kvrSigned:
    case kvrUnsigned: {
      long long v = 0;
      if (none || !ScanInteger(copy.c_str(), v)) v = 0;
      const long long low = type_ == kvrSigned ? INT32_MIN : 0;
      const long long high = type_ == kvrSigned ? INT32_MAX : UINT32_MAX;
      if (v < low || v > high) {
        beyond_ = v;
        v = v < low ? low : high;
      }
      uint32_t bits = static_cast<uint32_t>(v);
      if (type_ == kvrSigned) bits ^= 0x80000000u;
      PutBE32(inline_, bits);
      length_ = 4;
      if (!none) SetSource(copy.data(), copy.size());
      break;
    }
    case kvrString:
    case kvrSet:
      SetBytes(reinterpret_cast<const unsigned char*>(copy.c_str()), static_cast<int>(copy.size() + 1));
      break;
    case kvrReal:
      SetRealText(copy.c_str());
      if (!none) SetSource(copy.data(), copy.size());
      break;
    default:
      break;
  }
}

void CKvrValue::SetTypeText(char type, const char* text) {
  type_ = type;
  SetText(text);
}

// The decimal form of a real text: the sign from the '-' before the number, at most nine
// significant digits (later ones dropped, not rounded), anything after the number ignored.
void CKvrValue::SetRealText(const char* text) {
  if (*text == '\0') text = "0";
  size_t i = 0;
  bool negative = false;
  while (text[i] != '\0' && !IsDigit(text[i]) && text[i] != '.') {
    if (text[i] == '-') negative = !negative;
    ++i;
  }
  length_ = 6;
  if (text[i] == '\0') {  // no number at all
    std::memset(inline_, 0xFF, 6);
    return;
  }
  long long dot = -1;
  long long first = -1;
  int digits = 0;
  uint32_t mantissa = 0;
  size_t k = i;
  for (; text[k] != '\0'; ++k) {
    const char c = text[k];
    if (c == '.') {
      if (dot >= 0) break;
      dot = static_cast<long long>(k);
      continue;
    }
    if (!IsDigit(c)) break;
    if (first < 0 && c == '0') continue;
    if (first < 0) first = static_cast<long long>(k);
    if (digits < 9) {
      mantissa = mantissa * 10 + static_cast<uint32_t>(c - '0');
      ++digits;
    }
  }
  if (first < 0) {  // only zeros: zero is always positive with exponent byte 0
    inline_[0] = 0x80;
    PutBE32(inline_ + 1, 0x80000000u);
    return;
  }
  for (; digits < 9; ++digits) mantissa *= 10;
  const long long d = dot >= 0 ? dot : static_cast<long long>(k);
  long long e = d - first - 9;
  if (dot >= 0 && dot < first) e += 1;
  long long biased = e + 64;
  if (biased < 0) biased = 0;
  if (biased > 127) biased = 127;
  int32_t m = static_cast<int32_t>(mantissa);
  if (negative) {
    biased = 127 - biased;
    m = -m;
  }
  inline_[0] = static_cast<unsigned char>(biased | (negative ? 0 : 0x80));
  PutBE32(inline_ + 1, static_cast<uint32_t>(m) ^ 0x80000000u);
  inline_[5] = 0;
}

int CKvrValue::SetStored(const unsigned char* image, int avail) {
  Blank();
  if (image == nullptr || avail < 0) avail = 0;
  int taken = -1;
  switch (type_) {
    case kvrSigned:
    case kvrUnsigned:
      if (avail >= 4) {
        std::memcpy(inline_, image, 4);
        length_ = 4;
        taken = 4;
      }
      break;
    case kvrString:
    case kvrSet: {
      const void* nul = avail > 0 ? std::memchr(image, 0, static_cast<size_t>(avail)) : nullptr;
      if (nul) {
        taken = static_cast<int>(static_cast<const unsigned char*>(nul) - image) + 1;
        SetBytes(image, taken);
      }
      break;
    }
    case kvrReal: {
      const void* nul = avail > 6 ? std::memchr(image + 6, 0, static_cast<size_t>(avail - 6)) : nullptr;
      if (nul) {
        const size_t n = static_cast<size_t>(static_cast<const unsigned char*>(nul) - (image + 6));
        std::memcpy(inline_, image, 6);
        length_ = 6;
        if (n > 0) SetSource(reinterpret_cast<const char*>(image + 6), n);
        taken = static_cast<int>(6 + n + 1);
      }
      break;
    }
    default:
      break;
  }
  if (taken >= 0) empty_ = false;
  return taken;
}

// ---- reading ----

AnsiString CKvrValue::GetText() const {
  char room[kTextRoom];
  size_t n = 0;
  const char* text = TextBytes(room, n);
  return AnsiString(text, n);
}

const char* CKvrValue::TextBytes(char* room, size_t& n) const {
  if (hasSource_) {
    n = static_cast<size_t>(sourceLength_);
    return source_.get();
  }
  n = 0;
  switch (type_) {
    // An empty signed integer (a column the record was written without) holds zero bytes, which
    // would read as the lowest number; it shows as nothing instead.
    case kvrSigned:
      if (empty_) return "";
      n = static_cast<size_t>(std::to_chars(room, room + kTextRoom, GetSigned()).ptr - room);
      return room;
    case kvrUnsigned:
      n = static_cast<size_t>(std::to_chars(room, room + kTextRoom, GetUnsigned()).ptr - room);
      return room;
    case kvrString:
    case kvrSet:
      n = TextLength();
      return reinterpret_cast<const char*>(data_);
    case kvrReal: {
      static const unsigned char zero[8] = {};
      if (std::memcmp(inline_, zero, sizeof zero) == 0) return "";
      const int written = std::snprintf(room, kTextRoom, "%lg", GetReal());
      n = written > 0 ? std::min(static_cast<size_t>(written), kTextRoom - 1) : 0;
      return room;
    }
    default:
      n = 7;
      return "#ERROR#";
  }
}

// data_ always has at least the 8 bytes of the inline store behind it, so the fixed-size
// readers below stay inside it whatever the stored length.
int CKvrValue::GetSigned() const { return static_cast<int32_t>(GetBE32(data_) ^ 0x80000000u); }

unsigned CKvrValue::GetUnsigned() const { return GetBE32(data_); }

double CKvrValue::GetReal() const {
  int e = data_[0] & 0x7F;
  const int32_t m = static_cast<int32_t>(GetBE32(data_ + 1) ^ 0x80000000u);
  if (m < 0) e = 127 - e;
  const int p = e - 64;
  return p >= 0 ? m * Pow10(p) : m / Pow10(-p);
}

AnsiString CKvrValue::GetString() const { return AnsiString(reinterpret_cast<const char*>(data_), TextLength()); }

bool CKvrValue::IsBlank() const {
  if (empty_) return true;
  switch (type_) {
    case kvrString:
    case kvrSet:
      return length_ < 2;
    case kvrSigned:
    case kvrUnsigned: {
      if (!hasSource_) return length_ != 4;
      long long v;
      return !ScanInteger(source_.get(), v);
    }
    case kvrReal: {
      if (!hasSource_ || length_ != 6) return true;
      float f;
      return std::sscanf(source_.get(), "%f", &f) != 1;
    }
    default:
      return true;
  }
}

void CKvrValue::AddAt(int first, int last, int carry) {
  if (first < 0) first = 0;
  if (last >= length_) last = length_ - 1;
  long long rest = carry;
  for (int i = last; i >= first && rest != 0; --i) {
    const long long sum = data_[i] + rest;
    data_[i] = static_cast<unsigned char>(sum & 0xFF);
    rest = sum >> 8;
  }
}

// ---- comparing ----

namespace {

Text TextOf(const CKvrValue& v) {
  const unsigned char* p = v.Stored();
  const int n = v.StoredLength();
  if (n <= 0) return Text{p, 0};
  const void* nul = std::memchr(p, 0, static_cast<size_t>(n));
  return Text{p, nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - p) : static_cast<size_t>(n)};
}

bool IsTextType(char t) { return t == kvrString || t == kvrSet; }

// An integer as a number, one beyond its type's range included.
long long NumberOf(const CKvrValue& v) {
  if (v.Beyond() != 0) return v.Beyond();
  return v.Type() == kvrSigned ? v.GetSigned() : static_cast<long long>(v.GetUnsigned());
}

int CompareValues(const CKvrValue& a, const CKvrValue& b, bool euc) {
  if ((a.Beyond() != 0 || b.Beyond() != 0) && IsInteger(a.Type()) && IsInteger(b.Type())) {
    const long long x = NumberOf(a), y = NumberOf(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.Type() == kvrSet && IsTextType(b.Type())) return CompareSet(TextOf(a), TextOf(b), euc);
  if (a.Type() == kvrString && IsTextType(b.Type()))
    return euc ? CompareEucText(TextOf(a), TextOf(b)) : CompareBytes(TextOf(a), TextOf(b));
  const int n = a.StoredLength() < b.StoredLength() ? a.StoredLength() : b.StoredLength();
  if (n > 0) {
    const int r = std::memcmp(a.Stored(), b.Stored(), static_cast<size_t>(n));
    if (r != 0) return r;
  }
  return a.StoredLength() - b.StoredLength();
}

}  // namespace

int CKvrValue::Compare(const CKvrValue& a, const CKvrValue& b) { return CompareValues(a, b, false); }

int CKvrValue::CompareEuc(const CKvrValue& a, const CKvrValue& b) { return CompareValues(a, b, true); }

bool CKvrValue::Like(const CKvrValue& a, const CKvrValue& b) {
  if (a.type_ == kvrSet && IsTextType(b.type_)) {
    SetElements elements(TextOf(a));
    Text e;
    while (elements.Next(e))
      if (LikeMatch(e, TextOf(b))) return true;
    return false;
  }
  if (a.type_ == kvrString && b.type_ == kvrString) return LikeMatch(TextOf(a), TextOf(b));
  return false;
}

void CKvrValue::SplitSet(CKvrValueList& list) const {
  if (type_ != kvrSet) return;
  SetElements elements(TextOf(*this));
  Text e;
  while (elements.Next(e)) {
    if (e.n == 0) continue;
    auto value = std::make_unique<CKvrValue>(reinterpret_cast<const char*>(e.p), static_cast<int>(e.n));
    if (CKvrValueList::IndexOf(list, *value) < 0) list.Add(value.release());
  }
}

// ---- CKvrValueList ----

CKvrValueList::~CKvrValueList() {
  for (int i = Count() - 1; i >= 0; --i) delete static_cast<CKvrValue*>(items_[static_cast<size_t>(i)]);
}

void CKvrValueList::ClearValues() {
  // Kept the last first, so that Reuse hands out the first value first.
  for (size_t i = items_.size(); i-- > 0;) {
    auto* v = static_cast<CKvrValue*>(items_[i]);
    if (v && spare_.size() < kSpareLimit)
      spare_.emplace_back(v);
    else
      delete v;
  }
  TList::Clear();
}

CKvrValue* CKvrValueList::Reuse(char type) {
  if (spare_.empty()) return new CKvrValue(type);
  CKvrValue* v = spare_.back().release();
  spare_.pop_back();
  v->Reset(type);
  return v;
}

CKvrValueList* CKvrValueList::Clone() const {
  auto* copy = new CKvrValueList;
  for (int i = 0; i < Count(); ++i) {
    const CKvrValue* v = GetAt(i);
    copy->Add(v ? v->Clone() : nullptr);
  }
  return copy;
}

int CKvrValueList::IndexOf(const CKvrValueList& list, const CKvrValue& value) {
  for (int i = list.Count() - 1; i >= 0; --i) {
    const CKvrValue* v = list.GetAt(i);
    if (v && CKvrValue::Compare(*v, value) == 0) return i;
  }
  return -1;
}

// ---- Shift_JIS helpers ----

int SjisByteKind(const char* text, int i) {
  if (text == nullptr || i < 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  int pos = 0;
  while (pos < i) {
    if (p[pos] == 0) return 0;
    if (IsSjisLeadByte(p[pos]) && p[pos + 1] != 0) {
      if (pos + 1 == i) return 2;
      pos += 2;
    } else {
      pos += 1;
    }
  }
  return p[i] != 0 && IsSjisLeadByte(p[i]) && p[i + 1] != 0 ? 1 : 0;
}

AnsiString LikePrefix(const char* pattern) {
  AnsiString prefix;
  if (pattern == nullptr) return prefix;
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  const size_t n = std::strlen(pattern);
  size_t i = 0;
  while (i < n && p[i] != '%') {
    if (p[i] == '\\' && ++i >= n) break;
    const size_t len = CharLen(p, i, n);
    prefix.append(pattern + i, len);
    i += len;
  }
  return prefix;
}

bool IsRemoteName(const char* name) { return name != nullptr && name[0] == '/' && name[1] == '/'; }

// ---- field texts ----

namespace {

// Field texts take a lead byte as a pair only with a proper trail byte (0x40-0xFC but 0x7F)
// after it. No separator, quote or blank is one, so a stray lead byte at the end of a field
// never swallows the comma or the closing quote after it; proper Shift_JIS reads the same.
size_t FieldCharLen(const unsigned char* p, size_t i, size_t n) {
  return IsSjisLeadByte(p[i]) && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] <= 0xFC && p[i + 1] != 0x7F ? 2 : 1;
}

bool NeedsQuotes(const AnsiString& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  for (size_t i = 0; i < s.size(); i += FieldCharLen(p, i, s.size())) {
    if (FieldCharLen(p, i, s.size()) != 1) continue;
    switch (p[i]) {
      case '"':
      case '\'':
      case ',':
      case ' ':
      case '\r':
      case '\n':
      case '\t':
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

AnsiString ListToCommaText(const TStrings& list) {
  AnsiString out;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) out += ',';
    const AnsiString& s = list[i];
    if (!NeedsQuotes(s)) {
      out += s;
      continue;
    }
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t k = 0; k < s.size();) {
      const size_t len = FieldCharLen(p, k, s.size());
      if (len == 1 && p[k] == '"') out += '"';
      out.append(s, k, len);
      k += len;
    }
    out += '"';
  }
  return out;
}

void CommaTextToList(const char* text, TStrings& list) {
  if (text == nullptr || *text == '\0') return;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const size_t n = std::strlen(text);
  size_t i = 0;
  for (;;) {
    while (i < n && p[i] == ' ') ++i;
    AnsiString field;
    size_t keep = 0;  // the field up to its last character that is not a blank outside quotes
    bool separated = false;
    while (i < n) {
      const unsigned char c = p[i];
      if (c == ',' || c == '\r' || c == '\n') {
        separated = true;
        ++i;
        break;
      }
      if (c == '"' || c == '\'') {
        ++i;
        while (i < n) {
          if (p[i] == c) {
            if (i + 1 < n && p[i + 1] == c) {
              field += static_cast<char>(c);
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          const size_t len = FieldCharLen(p, i, n);
          field.append(text + i, len);
          i += len;
        }
        keep = field.size();
        continue;
      }
      const size_t len = FieldCharLen(p, i, n);
      field.append(text + i, len);
      i += len;
      if (len != 1 || c != ' ') keep = field.size();
    }
    field.resize(keep);
    list.Add(field);
    if (!separated) break;
  }
}

AnsiString ValuesToCommaText(const CKvrValueList& list) {
  TStringList texts;
  for (int i = 0; i < list.Count(); ++i) {
    const CKvrValue* v = list.GetAt(i);
    texts.Add(v ? v->GetText() : AnsiString());
  }
  return ListToCommaText(texts);
}
