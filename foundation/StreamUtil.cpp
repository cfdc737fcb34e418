#include "foundation/StreamUtil.h"

AnsiString CStreamUtil::GetField(const CStreamUtil* util, int index) {
  if (!util || !util->Fields || index < 0 || index >= util->Fields->Count()) return AnsiString();
  return util->Fields->Strings(index);
}
