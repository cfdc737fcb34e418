// Extended items: display columns of the pseudo table "__拡張項目__" whose values the query
// computes per record from a text-macro expression. Two evaluators walk such expressions without
// computing them: the column collector gathers the columns an expression needs (following other
// items into their expressions, and stopping at an item it is already walking), and the
// registrar hands the items a listing's condition names to the listing's query.
#pragma once

#include <vector>

#include "foundation/StrMacro.h"

class CCapInfoList;
class CDbHandle;
class CRuleFolder;

// The column collector: a bare name goes to the bound folder's MakeExtendedMacro with the bound
// list.
class TCvStrMacro_a : public TCvStrMacro {
 public:
  AnsiString GetValue(const AnsiString& name) override;
  // Binds folder and context and walks the expression at the start of text in parse-only mode.
  virtual void Evaluate(const AnsiString& text, CRuleFolder* folder, void* context);

 protected:
  CRuleFolder* folder_ = nullptr;
  void* context_ = nullptr;  // CCapInfoList for the collector, CDbHandle for the registrar
};

// The registrar: a name of an extended item is registered with the bound handle's listing and
// answers the item's expression; any other name answers "".
class TCvStrMacro_b : public TCvStrMacro_a {
 public:
  AnsiString GetValue(const AnsiString& name) override;
  // The items registered since the listing started, shared by the walks of one listing's start.
  std::vector<AnsiString>* Registered = nullptr;
};

// Appends to list a descriptor for every column the expression names that list lacks.
void CollectExpressionColumns(CRuleFolder* folder, const AnsiString& expression, CCapInfoList& list);

// The most extended items one walk follows inside each other.
constexpr int EXTENDED_MAX_NESTING = 64;
