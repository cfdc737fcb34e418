// The single-comparison dialog "検索条件": one comparison of a column with a value by one of ten
// methods, turned into condition text and back. The condition-folder dialogs and the main
// window's condition pane fill its column list, optionally load a comparison, run it modally and,
// after OK, use GetConditionText when it is not empty.
//
//   method  caption                    condition text      value escaped by
//   0       で始まる                   c LIKE 'v%'         EscapeLikeText, EscapeQuotes
//   1       と等しい                   c = 'v'             EscapeQuotes
//   2       を含む                     c LIKE '%v%'        EscapeLikeText, EscapeQuotes
//   3       と等しいか大きい ( >= )    c >= 'v'            EscapeQuotes
//   4       より大きい ( > )           c > 'v'             EscapeQuotes
//   5       と等しいか小さい ( <= )    c <= 'v'            EscapeQuotes
//   6       より小さい ( < )           c < 'v'             EscapeQuotes
//   7       で始まらない               c UNLIKE 'v%'       EscapeLikeText, EscapeQuotes
//   8       と等しくない               c <> 'v'            EscapeQuotes
//   9       含まない                   c UNLIKE '%v%'      EscapeLikeText, EscapeQuotes
//
// The column stands unquoted; every value stands in quotes, whatever the column's type.
#pragma once

#include "folders/FlowBox.h"
#include "platform/StdCtrls.h"

// The condition text of one comparison (table above); "" when the column or the value is empty.
// A method outside 1..9 is taken as 0.
AnsiString MakeConditionText(const AnsiString& column, int method, const AnsiString& value);

class TCondDlg : public TFlowCondDialog {
 public:
  explicit TCondDlg(TComponent* owner);
  ~TCondDlg() override;

  // Loads one comparison; a text that is not one yields what could be read of it. The column is
  // added to the column list when that list is empty.
  void SetConditionText(const AnsiString& text) override;
  AnsiString GetConditionText() override;
  // The caller's columns for ComboBox1, and the column it starts on.
  void SetFieldList(const TStrings& fields, const AnsiString& field) override;

  TLabel* Label1;
  TComboBox* ComboBox1;  // column name, typed or chosen
  TLabel* Label2;
  TEdit* Edit2;          // the value as the user means it
  TRadioGroup* RadioGroup2;
  TButton* OKBtn;
  TButton* CancelBtn;

  void FormShow(TObject* sender);
};
