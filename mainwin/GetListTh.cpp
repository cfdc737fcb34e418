#include "mainwin/GetListTh.h"

#include <chrono>

#include "folders/DbFolder.h"
#include "foundation/StringsList.h"
#include "mainwin/ListViewRecids.h"
#include "platform/SysUtils.h"

namespace {

// The count box is written at most about four times a second.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

}  // namespace

TGetListTh::TGetListTh(bool createSuspended) : TThread(createSuspended) { FreeOnTerminate = true; }

TGetListTh::~TGetListTh() = default;

void TGetListTh::Execute() {
  auto shown = std::chrono::steady_clock::now();
  auto* row = new TStringList;
  row->Reserve(Width);
  while (!Terminated()) {
    const int r = Folder->ListNextNB(*row);
    if (r < 0) break;
    if (r == 1 && Ids->AddKey(row)) {
      Rows->Add(row);
      row = new TStringList;
      row->Reserve(Width);
      if (++Count >= Limit) break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - shown > kProgressInterval) {
      shown = now;
      const int count = Count;
      if (Progress) Synchronize([this, count] { Progress->SetText(IntToStr(count)); });
    }
  }
  delete row;
}
