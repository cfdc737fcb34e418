// The condition diagram's tokenizer, tree and parser.
//
// Grammar (recursive descent, right-recursive), over CLgLexer's tokens:
//
//   expression := and-term [OR expression]
//   and-term   := primary [AND and-term]
//   primary    := "(" expression ")" | NOT primary | comparison
//   comparison := one or more names, strings, numbers and comparison operators
//
// A comparison leaf keeps its source text from its first token to the end of its last, so what
// the user wrote (quotes, "table.column", macros) comes back unchanged.
#include <algorithm>

#include "folders/FlowBox.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLead(char c) { return IsSjisLeadByte(static_cast<unsigned char>(c)); }

// A token that may stand in a comparison. A string without its closing quote may not: written
// back before a ")" or an AND it would swallow them.
bool IsComparisonPart(const CLgLexer& lexer) {
  const int kind = lexer.Kind;
  return kind == LEX_NAME || (kind == LEX_STRING && !lexer.Unclosed) || kind == LEX_NUMBER || kind == LEX_COMPARE;
}

}  // namespace

// ---- CLgLexer ----

void CLgLexer::NextToken() {
  const AnsiString& t = text_;
  const size_t n = t.size();
  size_t p = Pos;
  Start = p;
  while (p < n && IsBlank(t[p])) ++p;
  Token.clear();
  Unclosed = false;
  if (p >= n) {
    Kind = LEX_END;
    Pos = n;
    return;
  }
  Start = p;
  const char c = t[p];
  auto next = [&](size_t i) { return i + 1 < n ? t[i + 1] : '\0'; };
  // A lead byte without its trail byte, at the very end, stands alone: inside a word it would take
  // whatever is written after the word as its trail byte once the text is rebuilt.
  auto lone = [&](size_t i) { return IsLead(t[i]) && i + 1 >= n; };
  size_t e = p;
  if (IsDigit(c) || ((c == '+' || c == '-' || c == '.') && IsDigit(next(p)))) {
    Kind = LEX_NUMBER;
    e = p + 1;
    while (e < n && (IsDigit(t[e]) || t[e] == '.')) ++e;
  } else if (c == '\'' || c == '"') {
    Kind = LEX_STRING;
    Unclosed = true;
    e = p + 1;
    while (e < n) {
      if (t[e] == c) {
        if (e + 1 < n && t[e + 1] == c) {
          e += 2;
          continue;
        }
        ++e;
        Unclosed = false;
        break;
      }
      e += IsLead(t[e]) && e + 1 < n ? 2 : 1;
    }
  } else if (c == '=' || c == '<' || c == '>' || (c == '!' && next(p) == '=')) {
    Kind = LEX_COMPARE;
    e = p + 1;
    if ((c == '<' && (next(p) == '=' || next(p) == '>')) || ((c == '>' || c == '!') && next(p) == '=')) ++e;
  } else if ((!IsLead(c) && CLexer::IsDelimiter(static_cast<unsigned char>(c))) || lone(p)) {
    Kind = static_cast<unsigned char>(c);
    e = p + 1;
  } else {
    e = p;
    do {
      e += IsLead(t[e]) ? 2 : 1;
    } while (e < n && !IsBlank(t[e]) && !lone(e) && (IsLead(t[e]) || !CLexer::IsDelimiter(static_cast<unsigned char>(t[e]))));
    const AnsiString upper = UpperCase(t.substr(p, e - p));
    if (upper == "AND") Kind = LEX_AND;
    else if (upper == "OR") Kind = LEX_OR;
    else if (upper == "NOT") Kind = LEX_NOT;
    else if (upper == "LIKE" || upper == "UNLIKE") Kind = LEX_COMPARE;
    else Kind = LEX_NAME;
  }
  Token = t.substr(p, e - p);
  Pos = e;
}

bool IsPlainComparison(const AnsiString& text) {
  CLgLexer lexer(text);
  int count = 0;
  for (lexer.NextToken(); lexer.Kind != LEX_END; lexer.NextToken()) {
    if (!IsComparisonPart(lexer)) return false;
    ++count;
  }
  return count > 0;
}

// ---- CLgNode ----

CLgNode::~CLgNode() {
  delete First;
  delete Second;
}

AnsiString CLgNode::GetExpression() const {
  switch (Kind) {
    case AndNode:
    case OrNode: {
      const char* word = Kind == AndNode ? " AND " : " OR ";
      AnsiString s = (First ? First->GetExpression() : AnsiString()) + word + (Second ? Second->GetExpression() : AnsiString());
      // An OR under an AND binds looser than its parent; a node that is the first operand of one
      // of its own kind would read back as the second (the grammar nests to the right).
      const bool enclose = Parent && ((Kind == OrNode && Parent->Kind == AndNode) || (Parent->Kind == Kind && Parent->First == this));
      return enclose ? "(" + s + ")" : s;
    }
    case NotNode: return "NOT (" + (First ? First->GetExpression() : AnsiString()) + ")";
    default:
      if (Parent && Parent->Kind != NotNode && !IsPlainComparison(Text)) return "(" + Text + ")";
      return Text;
  }
}

CLgNode* CLgNode::HitTest(int x, int y) {
  if (Box.Contains(x, y)) return this;
  if (First)
    if (CLgNode* hit = First->HitTest(x, y)) return hit;
  return Second ? Second->HitTest(x, y) : nullptr;
}

void CLgNode::SetFlag(int flag) {
  Flag = flag;
  if (First) First->SetFlag(flag);
  if (Second) Second->SetFlag(flag);
}

// ---- CLgParser ----

namespace {

class ConditionReader {
 public:
  explicit ConditionReader(const AnsiString& text) : lexer_(text), text_(text) { lexer_.NextToken(); }

  // The whole text as one expression, or null.
  CLgNode* ReadAll() {
    CLgNode* node = Expression();
    if (node && lexer_.Kind != LEX_END) {
      delete node;
      return nullptr;
    }
    return node;
  }

 private:
  static CLgNode* Join(int kind, CLgNode* first, CLgNode* second) {
    auto* node = new CLgNode(kind);
    node->First = first;
    first->Parent = node;
    node->Second = second;
    if (second) second->Parent = node;
    return node;
  }

  // A binary rule: operand [keyword rule].
  template <class Operand, class Rest>
  CLgNode* Chain(int keyword, int kind, Operand operand, Rest rest) {
    CLgNode* first = (this->*operand)();
    if (!first || lexer_.Kind != keyword) return first;
    lexer_.NextToken();
    CLgNode* second = Deeper(rest);
    if (!second) {
      delete first;
      return nullptr;
    }
    return Join(kind, first, second);
  }

  template <class Rule>
  CLgNode* Deeper(Rule rule) {
    if (depth_ >= CLgParser::kMaxDepth) return nullptr;
    ++depth_;
    CLgNode* node = (this->*rule)();
    --depth_;
    return node;
  }

  CLgNode* Expression() { return Chain(LEX_OR, CLgNode::OrNode, &ConditionReader::AndTerm, &ConditionReader::Expression); }
  CLgNode* AndTerm() { return Chain(LEX_AND, CLgNode::AndNode, &ConditionReader::Primary, &ConditionReader::AndTerm); }

  CLgNode* Primary() {
    if (lexer_.Kind == '(') {
      lexer_.NextToken();
      CLgNode* node = Deeper(&ConditionReader::Expression);
      if (!node) return nullptr;
      if (lexer_.Kind != ')') {
        delete node;
        return nullptr;
      }
      lexer_.NextToken();
      return node;
    }
    if (lexer_.Kind == LEX_NOT) {
      lexer_.NextToken();
      CLgNode* operand = Deeper(&ConditionReader::Primary);
      return operand ? Join(CLgNode::NotNode, operand, nullptr) : nullptr;
    }
    const size_t start = lexer_.Start;
    size_t end = start;
    while (IsComparisonPart(lexer_)) {
      end = lexer_.Pos;
      lexer_.NextToken();
    }
    if (end == start) return nullptr;
    return new CLgNode(CLgNode::CompNode, text_.substr(start, end - start));
  }

  CLgLexer lexer_;
  const AnsiString& text_;
  int depth_ = 0;
};

bool IsBlankText(const AnsiString& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return IsBlank(c); });
}

// The comparison with its operator replaced by the opposite one, its tokens joined by single
// blanks; false when the text is not plain tokens with exactly one operator.
bool NegateComparison(const AnsiString& text, AnsiString& out) {
  static const struct {
    const char* from;
    const char* to;
  } opposite[] = {{"=", "<>"}, {"<>", "="}, {"<", ">="}, {">=", "<"}, {"<=", ">"}, {">", "<="},
                  {"!=", "="}, {"LIKE", "UNLIKE"}, {"UNLIKE", "LIKE"}};
  CLgLexer lexer(text);
  AnsiString result;
  int operators = 0;
  for (lexer.NextToken(); lexer.Kind != LEX_END; lexer.NextToken()) {
    if (!IsComparisonPart(lexer)) return false;
    AnsiString token = lexer.Token;
    if (lexer.Kind == LEX_COMPARE) {
      ++operators;
      const AnsiString upper = UpperCase(token);
      for (const auto& o : opposite)
        if (upper == o.from) token = o.to;
    }
    if (!result.empty()) result += ' ';
    result += token;
  }
  if (operators != 1) return false;
  out = result;
  return true;
}

// Negates the subtree at node; the node that takes its place.
CLgNode* Negate(CLgNode* node) {
  switch (node->Kind) {
    case CLgNode::AndNode:
    case CLgNode::OrNode:
      node->Kind = node->Kind == CLgNode::AndNode ? CLgNode::OrNode : CLgNode::AndNode;
      for (CLgNode** slot : {&node->First, &node->Second}) {
        if (!*slot) continue;
        *slot = Negate(*slot);
        (*slot)->Parent = node;
      }
      return node;
    case CLgNode::NotNode: {
      CLgNode* operand = node->First;
      node->First = nullptr;
      delete node;
      return operand;
    }
    default: {
      AnsiString negated;
      if (NegateComparison(node->Text, negated)) {
        node->Text = negated;
        return node;
      }
      auto* wrap = new CLgNode(CLgNode::NotNode);
      wrap->Flag = node->Flag;
      wrap->First = node;
      node->Parent = wrap;
      return wrap;
    }
  }
}

}  // namespace

CLgParser::~CLgParser() { delete root_; }

bool CLgParser::SetExpression(const AnsiString& text) {
  delete root_;
  root_ = nullptr;
  if (IsBlankText(text)) return true;
  root_ = ConditionReader(text).ReadAll();
  if (root_) return true;
  root_ = new CLgNode(CLgNode::CompNode, text);
  return false;
}

AnsiString CLgParser::GetExpression() const { return root_ ? root_->GetExpression() : AnsiString(); }

void CLgParser::SetFlag(int flag) {
  if (root_) root_->SetFlag(flag);
}

void CLgParser::Reverse() {
  if (!root_) return;
  root_ = Negate(root_);
  if (root_) root_->Parent = nullptr;
}

bool CLgParser::Contains(const CLgNode* node) const {
  if (!node || !root_) return false;
  while (node->Parent) node = node->Parent;
  return node == root_;
}

void CLgParser::Replace(CLgNode* old, CLgNode* now) {
  CLgNode* parent = old->Parent;
  if (!parent) root_ = now;
  else if (parent->First == old) parent->First = now;
  else parent->Second = now;
  now->Parent = parent;
  old->Parent = nullptr;
}

bool CLgParser::DeleteNode(CLgNode* node) {
  if (!node || !node->IsLeaf() || !Contains(node)) return false;
  CLgNode* gone = node;
  while (gone->Parent && gone->Parent->Kind == CLgNode::NotNode) gone = gone->Parent;
  CLgNode* parent = gone->Parent;
  if (!parent) {
    delete root_;
    root_ = nullptr;
    return true;
  }
  // AND and OR nodes always hold two operands.
  CLgNode*& siblingSlot = parent->First == gone ? parent->Second : parent->First;
  CLgNode* sibling = siblingSlot;
  siblingSlot = nullptr;
  Replace(parent, sibling);
  delete parent;
  return true;
}

bool CLgParser::AddNode(const std::vector<CLgNode*>& selected, int kind, const AnsiString& text) {
  if (kind != CLgNode::AndNode && kind != CLgNode::OrNode) return false;
  if (!root_) {
    root_ = new CLgNode(CLgNode::CompNode, text);
    return true;
  }
  if (selected.empty()) return false;
  for (const CLgNode* node : selected)
    if (!node || !node->IsLeaf() || !Contains(node)) return false;
  auto holds = [](const CLgNode* above, const CLgNode* node) {
    for (; node; node = node->Parent)
      if (node == above) return true;
    return false;
  };
  CLgNode* anchor = selected.front();
  for (const CLgNode* node : selected)
    while (!holds(anchor, node)) anchor = anchor->Parent;
  auto* joined = new CLgNode(kind);
  auto* leaf = new CLgNode(CLgNode::CompNode, text);
  joined->Flag = leaf->Flag = anchor->Flag;
  Replace(anchor, joined);
  joined->First = anchor;
  anchor->Parent = joined;
  joined->Second = leaf;
  leaf->Parent = joined;
  return true;
}
