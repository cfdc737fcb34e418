// Stored values and field texts from damaged table files and server replies: the first byte
// picks a value type, the rest is the record image. Whatever the bytes, reading stays inside
// them, what reads back stores the same image again, and the text scanners survive the rest.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/Jconv.h"
#include "store/Kvrbuffer.h"
#include "store/Kvrvalue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  const char type = static_cast<char>(data[0] % 7);
  const uint8_t* image = data + 1;
  const int avail = static_cast<int>(size - 1);

  CKvrValue v(type);
  const int taken = v.SetStored(image, avail);
  if (taken > avail || taken == 0 || taken < -1) __builtin_trap();
  if (taken > 0) {
    std::string again(reinterpret_cast<const char*>(v.Stored()), static_cast<size_t>(v.StoredLength()));
    if (type == kvrReal) {
      again += v.SourceText() ? v.SourceText() : "";
      again += '\0';
    }
    if (again.size() != static_cast<size_t>(taken) || std::memcmp(again.data(), image, again.size()) != 0)
      __builtin_trap();
    v.GetText();
    v.IsBlank();
    v.GetReal();
  }

  // The rest of the bytes as texts: a value, a LIKE pattern, a set, field texts, conversions.
  const std::string rest(reinterpret_cast<const char*>(image), static_cast<size_t>(avail));
  const std::string text = rest.substr(0, rest.find('\0'));
  const size_t half = text.size() / 2;
  CKvrValue a(kvrString), b(kvrString), s(kvrSet);
  a.SetText(text.substr(0, half).c_str());
  b.SetText(text.substr(half).c_str());
  s.SetText(text.c_str());
  CKvrValue::Like(a, b);
  CKvrValue::Like(s, b);
  CKvrValue::CompareEuc(s, a);
  CKvrValue::Compare(s, v);
  CKvrValueList elements;
  s.SplitSet(elements);
  LikePrefix(text.c_str());
  TStringList fields;
  CommaTextToList(text.c_str(), fields);
  TStringList back;
  CommaTextToList(ListToCommaText(fields).c_str(), back);
  // A sole empty text writes as nothing, which reads as no text at all.
  const bool soleEmpty = fields.Count() == 1 && fields[0].empty();
  if (back.Count() != (soleEmpty ? 0 : fields.Count())) __builtin_trap();
  for (int i = 0; i < back.Count(); ++i)
    if (back[i] != fields[i]) __builtin_trap();
  const std::unique_ptr<char[]> exact(new char[text.size() + 1]);
  std::memcpy(exact.get(), text.c_str(), text.size() + 1);
  EucToSjis(exact.get());
  SjisToEuc(exact.get());

  CKvrBuffer buffer(8);
  buffer.PutBytes(image, avail);
  while (buffer.ReadPos() < buffer.Length()) {
    buffer.GetString();
    buffer.GetU32();
  }
  return 0;
}
