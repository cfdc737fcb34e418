// Condition texts of queries: their grammar, the tree CCondTree reads them into, and the
// flattening of that tree into alternatives (an OR list of AND lists of comparisons).
//
// Grammar, over the tokens of CLexer's condition dialect (blanks, tabs and line ends between tokens
// are ignored; AND, OR, NOT, LIKE and UNLIKE in any case); loosest first:
//
//   condition  := or-expr | nothing but blanks
//   or-expr    := and-expr [OR or-expr]          a OR b OR c    is OR(a, OR(b, c))
//   and-expr   := primary {AND primary}          a AND b AND c  is AND(AND(a, b), c)
//   primary    := "(" or-expr ")" | NOT primary | operand comparison operand
//   operand    := name | string | number         name: column, or table "." column
//   comparison := "=" | "<" | "<=" | "<>" | ">" | ">=" | "!=" | LIKE | UNLIKE
//
// Either side of a comparison may be any kind of operand. Only an empty or all-blank text means
// "no condition": Parse succeeds with no alternatives, and the query then takes every record.
// Every other text must be exactly one complete expression; a text that ends early ("a = 1 AND",
// "(a = 1", "x ="), holds an unclosed quote, a stray token or a NUL byte, or nests "(" and NOT
// deeper than kMaxNesting is a syntax error, never a condition that matches everything.
//
// After parsing, every NOT is pushed down onto the comparisons (De Morgan; a double negation
// cancels into neutral nodes; a negated comparison takes the opposite operator code and keeps its
// operator text), and the tree is flattened into alternatives, at most kMaxAlternatives of them.
#pragma once

#include <functional>
#include <vector>

#include "platform/AnsiString.h"
#include "store/CondOp.h"

// One operand of a comparison. Kind is the lexer's token kind: LEX_NAME (a column reference),
// LEX_STRING (quotes removed, doubled quotes made single) or LEX_NUMBER.
class CCondTreeNodeVar {
 public:
  bool IsValue() const;  // a string or a number
  bool IsName() const;
  // "T.c" -> "T" and "c"; "a.b.c" -> "a" and "b.c"; "c" -> "" and "c"; ".c" -> "" and "c".
  AnsiString GetTablePart() const;
  AnsiString GetColumnPart() const;
  void Assign(const CCondTreeNodeVar& other);

  int Kind = 0;
  AnsiString Text;
};

// Base of the tree nodes. A node owns its children: deleting it deletes its whole subtree (without
// recursion, so a long chain of AND or OR cannot exhaust the stack). Code tells the node classes
// apart by GetKind: "Base", "Comp" or "Logi".
class CCondTreeNode {
 public:
  CCondTreeNode() = default;
  CCondTreeNode(const CCondTreeNode&) = delete;
  CCondTreeNode& operator=(const CCondTreeNode&) = delete;
  virtual ~CCondTreeNode();
  virtual AnsiString GetKind() const;

  // Deletes every descendant and leaves the node without children.
  void DeleteSubtree();
  // Takes child into the first empty child slot and becomes its parent; false (child untouched)
  // when both slots are taken.
  bool AttachChild(CCondTreeNode* child);

  CCondTreeNode* Parent = nullptr;  // null at the root
  CCondTreeNode* First = nullptr;   // left operand of AND and OR; the only operand of NOT
  CCondTreeNode* Second = nullptr;
};

// One comparison. It has no children.
class CCondTreeNodeComp : public CCondTreeNode {
 public:
  AnsiString GetKind() const override;
  // Exchanges the operands and mirrors the ordering operators (< and >, <= and >=); 5 < n
  // becomes n > 5. Every other code, LIKE and UNLIKE included, stays.
  void SwapSides();

  CCondTreeNodeVar Left;
  CCondTreeNodeVar Right;
  AnsiString OpText;  // as written: "<>", or LIKE in whatever case it was typed
  int Op = COND_NULL;  // COND_LES .. COND_REJ
};

// AND and OR use both children; NOT and the neutral node (left where a double negation
// cancelled; it stands for its first child) use the first only.
class CCondTreeNodeLogi : public CCondTreeNode {
 public:
  explicit CCondTreeNodeLogi(int logic) : Logic(logic) {}
  AnsiString GetKind() const override;

  int Logic;  // COND_AND, COND_OR, COND_NOT, or COND_NULL for neutral
};

// One alternative: comparisons that must all hold, in text order. The pointers belong to the tree.
using TCondAndList = std::vector<CCondTreeNodeComp*>;

// Receives the text of every string operand and may rewrite it in place (the query compiler
// expands the text macros of quoted values). Names and numbers are never passed.
using StringOperandHook = std::function<void(AnsiString& text)>;

// The parser and the owner of what it read. Made, parsed, read and deleted by one thread; a new
// Parse or Clear invalidates every node and list pointer taken from the previous one.
class CCondTree {
 public:
  static constexpr int kMaxAlternatives = 4096;
  // Comparisons over all alternatives together; bounds the memory a flattening may take.
  static constexpr int kMaxAlternativeEntries = 1 << 20;
  // Levels of "(" and NOT inside each other.
  static constexpr int kMaxNesting = 600;

  enum TError {
    condOk,
    condSyntaxError,
    condTooManyAlternatives,
  };

  CCondTree() = default;
  CCondTree(const CCondTree&) = delete;
  CCondTree& operator=(const CCondTree&) = delete;
  ~CCondTree();

  // Clears the tree, then reads the text. True: the alternatives are ready (none for a blank
  // text). False: Error says why; the tree is empty and there are no alternatives.
  bool Parse(const AnsiString& text, const StringOperandHook& hook = nullptr);
  void Clear();

  const std::vector<TCondAndList>& Alternatives() const { return alternatives_; }
  CCondTreeNode* Root() const { return root_; }
  TError Error() const { return error_; }
  // The message a caller shows for Error; "" after a success.
  AnsiString ErrorText() const;

 private:
  struct TFlattening;

  // Each returns the node that stands where the given one stood.
  static CCondTreeNode* PushNot(CCondTreeNode* node);
  static CCondTreeNode* NegateNode(CCondTreeNodeLogi* node);
  static CCondTreeNode* ApplyDeMorgan(CCondTreeNodeLogi* node);
  static CCondTreeNode* NegateComparison(CCondTreeNodeLogi* node);

  // False when the alternatives would exceed the limits.
  bool Flatten();
  bool CollectAndList(CCondTreeNode* node, TFlattening& state);

  CCondTreeNode* root_ = nullptr;
  std::vector<TCondAndList> alternatives_;
  TError error_ = condOk;
};
