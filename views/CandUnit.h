// The input candidates popup ("候補"): a small stay-on-top window under the value being typed in
// a sheet cell or a card field, listing values already stored that are not below the typed text,
// with the columns that go with them. Choosing a row writes all of them into the record being
// edited. Rows come from the folder in batches as the user scrolls: forward from the running
// search, backward by searching again with a shorter key.
//
// Grid rows: 0 the headings (each heading cell's object is the candidate column's descriptor),
// 1 a sentinel without height (reaching it searches backward), 2 .. count + 1 the candidates.
//
// One instance (CandForm), made at start-up and shared by the record edit dialog and the card
// windows. User-interface thread only; the folder's search runs inside the fetch, whose wait for
// a row is bounded and keeps the window system served.
#pragma once

#include <functional>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "views/StringGridEx.h"

class CCapInfo;
class CCapInfoList;
class TKelmGrid;
class TStringList;

// What the popup and the record edit dialog ask of a folder; the folder nodes implement it.
class CCandSource {
 public:
  virtual ~CCandSource() = default;
  // The table the folder shows ("" without one).
  virtual AnsiString GetEditTableName() = 0;
  // The condition joining two tables in the folder tree, "table.column=table.column", or "".
  virtual AnsiString GetJoinCondition(const AnsiString& ownTable, const AnsiString& otherTable) = 0;
  // Fills result with the candidate columns for the key column (the key's own and those that go
  // with it); a column's Position of 0 or more names the shown column it fills. False when no
  // candidates can be offered.
  virtual bool CheckEditColumns(CCapInfoList& shown, CCapInfo* key, CCapInfoList& result) = 0;
  // Starts the search of the records whose key is at least text, in key order; true when rows may
  // follow.
  virtual bool MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& text) = 0;
  // The next row of the running search, one text per candidate column: above 0 a row came, 0 not
  // yet (ask again), below 0 the search has ended.
  virtual int FindExtendedItem(TStrings& row) = 0;
};

// Writes a chosen candidate into a target that is not a sheet: the candidate columns and the
// row's texts.
using TCandidateChosenEvent = std::function<void(TObject* sender, CCapInfoList* items, TStrings* values)>;

class TCandForm : public TForm {
 public:
  explicit TCandForm(TComponent* owner);
  ~TCandForm() override;

  TStringGridEx* CandGrid;
  TEdit* Edit1;

  void Reset();
  void SetSource(CCandSource* folder, TStringGridEx* listGrid, TWinControl* target, CCapInfoList* shown);
  // Opens or updates the popup for the text typed in (column, row); closes it without candidates.
  void ShowCandidates(int column, int row, const AnsiString& text);
  // A value pasted into (column, row): when a candidate's key equals it, that candidate is chosen
  // and written. True when it was.
  bool TakeOverValue(int column, int row, const AnsiString& text);
  void CloseCandidates();
  bool PrepareColumn(int column, int row, const AnsiString& text);
  void SizeAndPlace();
  void FollowTarget();
  void FetchCandidates(int n);
  void SearchBackward();
  void ChooseCandidate();
  void SelectRow(int row);
  void NormalizeSelection();
  void ClearGrid();

  static AnsiString StripLineBreaks(const AnsiString& text);
  static AnsiString LfToCrLf(const AnsiString& text);
  static AnsiString CrLfToLf(const AnsiString& text);

  TCandidateChosenEvent OnCandidateChosen;
  // Rows per fetch, and the popup's height in rows.
  int Batch = 11;
  // The longest the popup waits for the folder to deliver one row.
  int FetchWaitMs = 3000;

  int CandidateCount() const { return count_; }
  int TargetColumn() const { return targetCol_; }
  int TargetRow() const { return targetRow_; }
  const AnsiString& KeyText() const { return keyText_; }
  int KeyColumn() const { return keyCol_; }
  int SelectedRow() const { return CandGrid->Row(); }

  // Handlers.
  void FormShow(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormResize(TObject* sender);
  void FormActivate(TObject* sender);
  void FormDeactivate(TObject* sender);
  void CandGridMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void CandGridExit(TObject* sender);
  void CandGridKeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void CandGridSelectCell(TObject* sender, int col, int row, bool& canSelect);
  void CandGridTopLeftChanged(TObject* sender);

 private:
  bool HaveSource() const;
  // Runs f with the grid's selection and scrolling handlers detached.
  void Detached(const std::function<void()>& f);
  void ChooseInUndoGroup();
  TPoint Anchor() const;
  const AnsiString& KeyAt(int row) const;

  int targetCol_ = -1, targetRow_ = -1, count_ = -1, keyCol_ = 0;
  AnsiString keyText_;
  bool more_ = false;
  bool fetching_ = false;
  CCandSource* folder_ = nullptr;
  CCapInfoList* shown_ = nullptr;
  CCapInfo* keyInfo_ = nullptr;
  CCapInfoList* columns_;
  TStringGridEx* listGrid_ = nullptr;
  TKelmGrid* sheet_ = nullptr;
  TWinControl* target_ = nullptr;
  std::function<void()> savedInputMethod_;
  bool hooked_ = false;
};

inline TCandForm* CandForm = nullptr;
