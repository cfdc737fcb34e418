#include "views/CandUnit.h"

#include <algorithm>
#include <chrono>

#include "foundation/CapInfo.h"
#include "views/KelmGrid.h"

namespace {

// The candidate grid draws a value with line breaks on one line.
class TCandGrid : public TStringGridEx {
 public:
  using TStringGridEx::TStringGridEx;

 protected:
  void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) override {
    const AnsiString& text = Cells(col, row);
    if (text.find_first_of("\r\n") == AnsiString::npos) {
      TStringGridEx::DrawCell(col, row, rect, state);
      return;
    }
    DrawCellStr(TCandForm::StripLineBreaks(text), col, row, rect, state);
    if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
  }
};

// Offsets at which a text may be cut without splitting a double-byte character, found by
// scanning from its start (a trail byte can look like a lead byte, so no byte is judged alone).
std::vector<bool> CharBoundaries(const AnsiString& text) {
  std::vector<bool> at(text.size() + 1, false);
  size_t i = 0;
  while (i < text.size()) {
    at[i] = true;
    i += IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  at[text.size()] = true;
  return at;
}

}  // namespace

TCandForm::TCandForm(TComponent* owner) : TForm(owner), columns_(new CCapInfoList) {
  Name = "CandForm";
  SetCaption(SJ("候補"));
  SetBorderStyle(bsSizeToolWin);
  SetFormStyle(fsStayOnTop);
  SetColor(clWindow);
  SetVisible(false);
  SetBounds(0, 0, 320, 186);

  Edit1 = new TEdit(this);
  Edit1->Name = "Edit1";
  Edit1->SetParent(this);
  Edit1->SetBounds(0, 0, 1, 1);

  CandGrid = new TCandGrid(this);
  CandGrid->Name = "CandGrid";
  CandGrid->SetParent(this);
  CandGrid->SetAlign(alClient);
  CandGrid->SetBorderStyle(bsNone);
  CandGrid->SetFixedCols(0);
  CandGrid->SetDefaultRowHeight(16);
  CandGrid->SetDefaultColWidth(100);
  CandGrid->SetOptions((CandGrid->Options() & ~goRangeSelect) | goRowSelect | goThumbTracking);
  CandGrid->SetFixedCenter(true);
  CandGrid->TabStop = true;
  CandGrid->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    CandGridMouseDown(s, b, sh, x, y);
  };
  CandGrid->OnExit = [this](TObject* s) { CandGridExit(s); };
  CandGrid->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { CandGridKeyDown(s, k, sh); };
  CandGrid->OnSelectCell = [this](TObject* s, int c, int r, bool& can) { CandGridSelectCell(s, c, r, can); };
  CandGrid->OnTopLeftChanged = [this](TObject* s) { CandGridTopLeftChanged(s); };

  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnResize = [this](TObject* s) { FormResize(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnDeactivate = [this](TObject* s) { FormDeactivate(s); };
  ClearGrid();
}

TCandForm::~TCandForm() {
  Destroying();
  if (hooked_ && Application) Application->OnInputMethod = savedInputMethod_;
  delete columns_;
}

// ---- Text functions ----

AnsiString TCandForm::StripLineBreaks(const AnsiString& text) {
  AnsiString out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

AnsiString TCandForm::LfToCrLf(const AnsiString& text) {
  AnsiString out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

AnsiString TCandForm::CrLfToLf(const AnsiString& text) {
  AnsiString out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] == '\n')) continue;
    out += text[i];
  }
  return out;
}

// ---- Binding ----

void TCandForm::Reset() {
  targetCol_ = targetRow_ = -1;
  keyText_.clear();
  count_ = -1;
  columns_->Clear();
  keyInfo_ = nullptr;
  folder_ = nullptr;
  listGrid_ = nullptr;
  shown_ = nullptr;
  target_ = nullptr;
  sheet_ = nullptr;
  more_ = false;
  ClearGrid();
}

void TCandForm::SetSource(CCandSource* folder, TStringGridEx* listGrid, TWinControl* target, CCapInfoList* shown) {
  Reset();
  folder_ = folder;
  listGrid_ = listGrid;
  target_ = target;
  shown_ = shown;
  sheet_ = dynamic_cast<TKelmGrid*>(target);
}

bool TCandForm::HaveSource() const { return (listGrid_ || sheet_) && folder_ && shown_ && target_; }

void TCandForm::CloseCandidates() {
  if (Visible()) Close();
}

const AnsiString& TCandForm::KeyAt(int row) const { return CandGrid->Cells(keyCol_, row); }

void TCandForm::Detached(const std::function<void()>& f) {
  TSelectCellEvent select = std::move(CandGrid->OnSelectCell);
  TNotifyEvent topLeft = std::move(CandGrid->OnTopLeftChanged);
  CandGrid->OnSelectCell = nullptr;
  CandGrid->OnTopLeftChanged = nullptr;
  f();
  CandGrid->OnSelectCell = std::move(select);
  CandGrid->OnTopLeftChanged = std::move(topLeft);
}

// ---- Preparing and showing ----

bool TCandForm::PrepareColumn(int column, int row, const AnsiString& text) {
  if (!HaveSource() || column < 1 || row < 1) return false;
  if (column != targetCol_) {
    count_ = 0;
    targetCol_ = -1;
    ClearGrid();
    columns_->Clear();
    CCapInfo* key = nullptr;
    if (listGrid_ && column - 1 < listGrid_->ColCount()) {
      key = static_cast<CCapInfo*>(listGrid_->Objects(column - 1, 0));
    } else if (sheet_ && column < sheet_->ColCount()) {
      const intptr_t i = reinterpret_cast<intptr_t>(sheet_->Objects(column, 0));
      if (i >= 0 && i < shown_->Count()) key = shown_->GetItem(static_cast<int>(i));
    }
    if (!key || !folder_->CheckEditColumns(*shown_, key, *columns_) || columns_->Count() == 0) return false;
    const int n = columns_->Count();
    CandGrid->SetColCount(n);
    for (int i = 0; i < n; ++i) {
      CCapInfo* c = columns_->GetItem(i);
      CandGrid->SetObjects(i, 0, c);
      CandGrid->SetCells(i, 0, c->Caption);
      CandGrid->SetColWidths(i, c->Width);
    }
    keyCol_ = -1;
    for (int i = n - 1; i >= 0 && keyCol_ < 0; --i)
      if (columns_->GetItem(i)->Name == key->Name) keyCol_ = i;
    for (int i = 0; i < n && keyCol_ < 0; ++i)
      if (columns_->GetItem(i)->Position >= 0) keyCol_ = i;
    if (keyCol_ < 0) {
      keyCol_ = 0;
      return false;
    }
    keyInfo_ = columns_->GetItem(keyCol_);
    targetCol_ = column;
    targetRow_ = row;  // the popup is placed under this row's cell
    SizeAndPlace();
  }
  targetRow_ = row;
  const AnsiString key = CrLfToLf(text);
  // The list survives typing while the key stays between its first and last keys.
  // A dropped list takes its selection along, so the new one starts at its first key.
  if (count_ >= 1 && CandGrid->RowCount() == count_ + 2 && key != keyText_)
    if (key < KeyAt(2) || key > KeyAt(count_ + 1)) {
      count_ = 0;
      Detached([&] { SelectRow(1); });
    }
  if (count_ >= 1)
    for (int r = 2; r <= count_ + 1; ++r)
      if (!(KeyAt(r) < key)) {
        SelectRow(r);
        break;
      }
  return true;
}

void TCandForm::ShowCandidates(int column, int row, const AnsiString& text) {
  if (fetching_) return;  // a fetch is waiting for the folder; the next keystroke catches up
  if (!PrepareColumn(column, row, text)) {
    CloseCandidates();
    return;
  }
  const AnsiString key = CrLfToLf(text);
  if (count_ < 1) {
    more_ = folder_->MakeNextChunkCondition(*columns_, keyInfo_, key);
    if (more_) {
      keyText_ = key;
      count_ = 0;
    }
  }
  FetchCandidates(0);
  if (!target_) return;  // reset while the folder was waited for
  if (count_ >= 1) {
    FollowTarget();
    if (!Visible()) ShowNoActivate();
  } else {
    CloseCandidates();
  }
  if (target_ && target_->CanFocus()) target_->SetFocus();
}

bool TCandForm::TakeOverValue(int column, int row, const AnsiString& text) {
  if (fetching_ || !PrepareColumn(column, row, text) || columns_->Count() < 2) return false;
  const AnsiString key = CrLfToLf(text);
  if (count_ < 1) {
    more_ = folder_->MakeNextChunkCondition(*columns_, keyInfo_, key);
    if (more_) {
      keyText_ = key;
      count_ = 0;
    }
  }
  FetchCandidates(0);
  for (int r = 2; r <= count_ + 1; ++r)
    if (KeyAt(r) == key) {
      SelectRow(r);
      ChooseCandidate();
      return true;
    }
  return false;
}

TPoint TCandForm::Anchor() const {
  if (sheet_) {
    const TRect r = sheet_->CellRect(targetCol_, targetRow_);
    return sheet_->ClientToScreen({r.Left, r.Bottom});
  }
  return target_ ? target_->ClientToScreen({0, target_->Height()}) : TPoint{0, 0};
}

void TCandForm::SizeAndPlace() {
  TNotifyEvent resize = std::move(OnResize);
  OnResize = nullptr;
  CandGrid->SetAlign(alNone);
  CandGrid->SetFixedRows(1);
  CandGrid->SetFixedCols(0);
  CandGrid->SetRowHeights(1, -CandGrid->GridLineWidth());
  int widths = 0;
  for (int i = 0; i < CandGrid->ColCount(); ++i) widths += CandGrid->ColWidths(i);
  const int w = std::min(CandGrid->GridLineWidth() * CandGrid->ColCount() + widths + 16, 1280);
  const int h = (CandGrid->DefaultRowHeight() + CandGrid->GridLineWidth()) * Batch - 1;
  CandGrid->SetBounds(0, 0, w, h);
  const TPoint a = Anchor();
  int before = 0;
  for (int i = 0; i < keyCol_; ++i) before += CandGrid->ColWidths(i);
  SetBounds(a.x - before, a.y + 1, w, h);
  OnResize = std::move(resize);
}

void TCandForm::FollowTarget() {
  const TPoint a = Anchor();
  if (a.y > Top()) SetTop(a.y + 1);
}

// ---- Fetching ----

void TCandForm::FetchCandidates(int n) {
  if (!more_ || fetching_ || !folder_) return;
  if (n < 1) {
    if (count_ < 1) {
      count_ = 0;
      n = Batch;
    } else {
      n = Batch - count_ + CandGrid->TopRow();
    }
    if (n <= 0) return;
  }
  CCandSource* const folder = folder_;
  fetching_ = true;
  Detached([&] {
    TStringList row;
    for (int k = 0; k < n; ++k) {
      row.Clear();
      // The folder answers 0 while it looks at records without a result; the wait is bounded,
      // and the window system is served meanwhile so the program stays responsive.
      const auto start = std::chrono::steady_clock::now();
      auto served = start;
      int got;
      while ((got = folder->FindExtendedItem(row)) == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now - start > std::chrono::milliseconds(FetchWaitMs)) break;
        if (now - served > std::chrono::milliseconds(20)) {
          Application->ProcessMessages();
          served = now;
          if (folder_ != folder) break;  // the popup was reset meanwhile
        }
      }
      if (folder_ != folder) return;
      if (got < 0) {
        more_ = false;
        break;
      }
      if (got == 0) break;  // no row in time: scrolling asks again
      ++count_;
      if (CandGrid->RowCount() < count_ + 2) CandGrid->SetRowCount(count_ + 2);
      for (int i = 0; i < CandGrid->ColCount(); ++i) CandGrid->SetCells(i, count_ + 1, i < row.Count() ? row[i] : "");
    }
    CandGrid->SetRowCount(count_ + 2);
    NormalizeSelection();
  });
  fetching_ = false;
}

void TCandForm::SearchBackward() {
  if (!HaveSource() || targetCol_ < 0 || columns_->Count() == 0 || keyText_.empty() || fetching_) return;
  const AnsiString first = count_ >= 1 ? KeyAt(2) : AnsiString();
  const AnsiString full = keyText_;
  const std::vector<bool> boundary = CharBoundaries(full);
  for (int i = static_cast<int>(full.size()); i >= 0; --i) {
    if (i > 0 && !boundary[i]) continue;
    count_ = 0;
    keyText_ = full.substr(0, i);
    more_ = folder_->MakeNextChunkCondition(*columns_, keyInfo_, keyText_);
    FetchCandidates(1);
    if (!folder_ || count_ == 0) return;
    if (i > 0 && KeyAt(2) == first) continue;
    FetchCandidates(0);
    return;
  }
}

// ---- Choosing ----

void TCandForm::ChooseCandidate() {
  if (targetCol_ < 0 || targetRow_ < 0 || !target_) return;
  const int r = CandGrid->Row();
  if (r < 2 || r > count_ + 1) return;
  if (sheet_) {
    bool wrote = false;
    for (int i = columns_->Count() - 1; i >= 0; --i) {
      const CCapInfo* candidate = columns_->GetItem(i);
      const AnsiString value = LfToCrLf(CandGrid->Cells(i, r));
      for (int j = 0; j < shown_->Count(); ++j) {
        const CCapInfo* column = shown_->GetItem(j);
        if (!column->Shown || (j != candidate->Position && column->Name != candidate->Name)) continue;
        // The sheet column showing descriptor j, wherever the user moved it.
        for (int c = 1; c < sheet_->ColCount(); ++c)
          if (reinterpret_cast<intptr_t>(sheet_->Objects(c, 0)) == j) {
            sheet_->SubstCell(c, targetRow_, value);
            wrote = true;
            break;
          }
      }
    }
    if (wrote) sheet_->AdjustRowHeight(targetRow_);
  } else if (OnCandidateChosen) {
    TStringList values;
    for (int i = 0; i < CandGrid->ColCount(); ++i) values.Add(CandGrid->Cells(i, r));
    OnCandidateChosen(this, columns_, &values);
  }
}

void TCandForm::ChooseInUndoGroup() {
  if (sheet_) sheet_->BeginSubst();
  ChooseCandidate();
  if (sheet_) sheet_->EndSubst();
}

// ---- Selection and grid events ----

void TCandForm::SelectRow(int row) {
  for (int r = 0; r < CandGrid->RowCount(); ++r)
    if (CandGrid->GetRowSelects(r)) CandGrid->SetRowSelects(r, false);
  CandGrid->SetSelection(TGridRect{0, row, CandGrid->ColCount() - 1, row});
  if (row < CandGrid->TopRow() || row >= CandGrid->TopRow() + CandGrid->VisibleRowCount()) CandGrid->SetTopRow(row);
}

void TCandForm::NormalizeSelection() {
  if (CandGrid->RowCount() < 3) return;
  if (CandGrid->TopRow() < 2) CandGrid->SetTopRow(2);
  if (CandGrid->Row() < 2)
    SelectRow(2);
  else if (CandGrid->Row() >= CandGrid->RowCount())
    SelectRow(CandGrid->RowCount() - 1);
}

void TCandForm::ClearGrid() {
  CandGrid->SetRowCount(2);
  CandGrid->SetColCount(1);
  CandGrid->SetTopRow(1);
  SelectRow(1);
}

void TCandForm::CandGridSelectCell(TObject*, int, int row, bool& canSelect) {
  if (count_ < 1 || row < 1 || row > count_ + 1) {
    canSelect = false;
    return;
  }
  Detached([&] {
    if (row == 1) {
      SearchBackward();
      canSelect = false;
    } else if (row == count_ + 1) {
      FetchCandidates(Batch);
    }
  });
}

void TCandForm::CandGridTopLeftChanged(TObject*) {
  if (count_ < 1) return;
  Detached([&] {
    if (CandGrid->TopRow() == 1)
      SearchBackward();
    else if (CandGrid->TopRow() + CandGrid->VisibleRowCount() >= count_ + 1)
      FetchCandidates(Batch);
  });
}

void TCandForm::CandGridMouseDown(TObject*, TMouseButton button, TShiftState shift, int, int) {
  if (button == mbLeft && (shift & ssDouble)) ChooseInUndoGroup();
}

void TCandForm::CandGridKeyDown(TObject*, uint16_t& key, TShiftState shift) {
  if (key == VK_SHIFT || key == VK_CONTROL) return;
  const bool plain = (shift & (ssShift | ssCtrl | ssAlt)) == 0;
  if (plain && key == VK_RETURN) {
    ChooseInUndoGroup();
    CloseCandidates();
    key = 0;
  } else if (plain && (key == VK_UP || key == VK_DOWN)) {
    return;
  } else {
    CloseCandidates();
  }
  // The typing goes on in the edited control.
  if (target_ && target_->CanFocus()) target_->SetFocus();
}

void TCandForm::CandGridExit(TObject*) {
  if (!target_) return;
  if (target_->CanFocus()) target_->SetFocus();
  if (sheet_) {
    sheet_->SetCellEdit(true);
    if (!sheet_->EditorMode()) sheet_->ShowEditor();
  }
  SetActiveControl(CandGrid);
}

// ---- Window ----

void TCandForm::FormShow(TObject*) {
  if (target_ && target_->CanFocus()) target_->SetFocus();
  CandGrid->SetFixedCenter(true);
  CandGrid->SetOptions(CandGrid->Options() | goColSizing);
  FormResize(this);
  if (!hooked_ && Application) {
    savedInputMethod_ = Application->OnInputMethod;
    Application->OnInputMethod = [this] {
      if (savedInputMethod_) savedInputMethod_();
      CloseCandidates();
    };
    hooked_ = true;
  }
}

void TCandForm::FormClose(TObject*, TCloseAction&) {
  if (hooked_ && Application) Application->OnInputMethod = savedInputMethod_;
  hooked_ = false;
}

void TCandForm::FormResize(TObject*) {
  if (!Visible()) return;
  const int n = CandGrid->ColCount();
  if (ClientWidth() > CandGrid->Width() && n > 0) {
    const int add = (ClientWidth() - CandGrid->Width()) / n;
    for (int i = 0; i < n; ++i) CandGrid->SetColWidths(i, CandGrid->ColWidths(i) + add);
  }
  CandGrid->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

void TCandForm::FormActivate(TObject*) { NormalizeSelection(); }

void TCandForm::FormDeactivate(TObject*) {
  if (!target_ || !target_->Focused()) CloseCandidates();
}
