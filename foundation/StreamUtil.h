// The reader state of one comma-text record of the folder file: the stream the record comes from
// and the list of its fields. It owns neither; whoever builds it reads the record into the list.
#pragma once

#include "platform/Classes.h"

class CStreamUtil {
 public:
  CStreamUtil(TStream* stream, TStrings* fields) : Stream(stream), Fields(fields) {}

  // The field at index; the empty text for a negative index, one past the last field, or a
  // missing util or list. Records of an older form simply lack their later fields.
  static AnsiString GetField(const CStreamUtil* util, int index);

  TStream* Stream;
  TStrings* Fields;
};
