#include "query/Condtree.h"

#include <memory>
#include <utility>

#include "foundation/CapInfo.h"
#include "foundation/Lexer.h"

namespace {

using TNodePtr = std::unique_ptr<CCondTreeNode>;

CCondTreeNodeComp* AsComp(CCondTreeNode* node) {
  return node && node->GetKind() == "Comp" ? static_cast<CCondTreeNodeComp*>(node) : nullptr;
}

CCondTreeNodeLogi* AsLogi(CCondTreeNode* node) {
  return node && node->GetKind() == "Logi" ? static_cast<CCondTreeNodeLogi*>(node) : nullptr;
}

bool IsLogic(CCondTreeNode* node, int logic) {
  const CCondTreeNodeLogi* logi = AsLogi(node);
  return logi && logi->Logic == logic;
}

// Puts replacement into the child slot of old's parent that holds old.
void TakePlace(CCondTreeNode* old, CCondTreeNode* replacement) {
  CCondTreeNode* parent = old->Parent;
  replacement->Parent = parent;
  if (!parent) return;
  if (parent->First == old) parent->First = replacement;
  else if (parent->Second == old) parent->Second = replacement;
}

int OperatorCode(const AnsiString& text) {
  if (text == "<") return COND_LES;
  if (text == "<=") return COND_LES_EQL;
  if (text == "=") return COND_EQL;
  if (text == ">=") return COND_GRT_EQL;
  if (text == ">") return COND_GRT;
  if (text == "<>" || text == "!=") return COND_NOT_EQL;
  const AnsiString upper = UpperCase(text);
  if (upper == "LIKE") return COND_LIKE;
  if (upper == "UNLIKE") return COND_NOT_LIKE;
  return COND_REJ;
}

bool IsOperand(int kind) { return kind == LEX_NAME || kind == LEX_STRING || kind == LEX_NUMBER; }

// Whether the quoted string that starts at p has its closing quote. The lexer lets an unclosed
// one run to the end of the text, which would silently turn "a = 'x" into a comparison.
bool StringClosed(const char* p) {
  const char quote = *p++;
  while (*p != '\0') {
    if (*p == quote) {
      if (p[1] != quote) return true;
      p += 2;
    } else {
      p += IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0' ? 2 : 1;
    }
  }
  return false;
}

struct TToken {
  int kind;
  AnsiString text;
};

// The recursive-descent reader over the tokens of one text. The token list ends with LEX_END.
class TConditionReader {
 public:
  TConditionReader(const std::vector<TToken>& tokens, const StringOperandHook& hook)
      : tokens_(tokens), hook_(hook) {}

  // Cuts text into tokens; false when a string is unclosed or a NUL byte ends the text early.
  static bool Tokenize(const AnsiString& text, std::vector<TToken>& tokens) {
    const char* const begin = text.c_str();
    const char* p = begin;
    for (;;) {
      TToken token;
      const char* end = nullptr;
      const char* start = ScanLexToken(p, TLexDialect::Condition, token.kind, token.text, end);
      if (token.kind == LEX_STRING && !StringClosed(start)) return false;
      const bool last = token.kind == LEX_END;
      tokens.push_back(std::move(token));
      if (last) return start == begin + text.size();
      p = end;
    }
  }

  bool AtEnd() const { return tokens_[pos_].kind == LEX_END; }

  // a OR b OR c: the and-expressions are read in a loop and joined from the right, which gives
  // the same tree as reading the rest recursively, without one stack frame per OR.
  TNodePtr ParseOrExpr() {
    std::vector<TNodePtr> terms;
    for (;;) {
      TNodePtr term = ParseAndExpr();
      if (!term) return nullptr;
      terms.push_back(std::move(term));
      if (NextToken().kind != LEX_OR) {
        UngetToken();
        break;
      }
    }
    TNodePtr node = std::move(terms.back());
    for (size_t i = terms.size() - 1; i-- > 0;) node = Join(COND_OR, std::move(terms[i]), std::move(node));
    return node;
  }

 private:
  const TToken& NextToken() {
    const TToken& token = tokens_[pos_];
    if (token.kind != LEX_END) ++pos_;
    lastAdvanced_ = token.kind != LEX_END;
    return token;
  }
  void UngetToken() {
    if (lastAdvanced_) --pos_;
    lastAdvanced_ = false;
  }

  static TNodePtr Join(int logic, TNodePtr first, TNodePtr second) {
    auto node = std::make_unique<CCondTreeNodeLogi>(logic);
    node->AttachChild(first.release());
    if (second) node->AttachChild(second.release());
    return node;
  }

  TNodePtr ParseAndExpr() {
    TNodePtr node = ParsePrimary();
    while (node) {
      if (NextToken().kind != LEX_AND) {
        UngetToken();
        return node;
      }
      TNodePtr next = ParsePrimary();
      if (!next) return nullptr;
      node = Join(COND_AND, std::move(node), std::move(next));
    }
    return nullptr;
  }

  TNodePtr ParsePrimary() {
    const TToken& token = NextToken();
    if (token.kind == '(' || token.kind == LEX_NOT) {
      if (depth_ >= CCondTree::kMaxNesting) return nullptr;
      ++depth_;
      TNodePtr node;
      if (token.kind == '(') {
        node = ParseOrExpr();
        if (node && NextToken().kind != ')') node.reset();
      } else {
        node = ParsePrimary();
        if (node) node = Join(COND_NOT, std::move(node), nullptr);
      }
      --depth_;
      return node;
    }
    if (!IsOperand(token.kind)) return nullptr;
    auto comp = std::make_unique<CCondTreeNodeComp>();
    comp->Left.Kind = token.kind;
    comp->Left.Text = token.text;
    const TToken& op = NextToken();
    if (op.kind != LEX_COMPARE) return nullptr;
    comp->OpText = op.text;
    comp->Op = OperatorCode(op.text);
    const TToken& right = NextToken();
    if (!IsOperand(right.kind)) return nullptr;
    comp->Right.Kind = right.kind;
    comp->Right.Text = right.text;
    if (hook_) {
      if (comp->Left.Kind == LEX_STRING) hook_(comp->Left.Text);
      if (comp->Right.Kind == LEX_STRING) hook_(comp->Right.Text);
    }
    return comp;
  }

  const std::vector<TToken>& tokens_;
  const StringOperandHook& hook_;
  size_t pos_ = 0;
  bool lastAdvanced_ = false;
  int depth_ = 0;
};

}  // namespace

// ---- operands and nodes ----

bool CCondTreeNodeVar::IsValue() const { return Kind == LEX_STRING || Kind == LEX_NUMBER; }

bool CCondTreeNodeVar::IsName() const { return Kind == LEX_NAME; }

AnsiString CCondTreeNodeVar::GetTablePart() const { return ::GetTablePart(Text); }

AnsiString CCondTreeNodeVar::GetColumnPart() const { return GetFieldPart(Text); }

void CCondTreeNodeVar::Assign(const CCondTreeNodeVar& other) {
  Kind = other.Kind;
  Text = other.Text;
}

CCondTreeNode::~CCondTreeNode() { DeleteSubtree(); }

AnsiString CCondTreeNode::GetKind() const { return "Base"; }

void CCondTreeNode::DeleteSubtree() {
  // Every node is unlinked from its children before it is deleted, so no destructor recurses.
  std::vector<CCondTreeNode*> pending;
  if (First) pending.push_back(First);
  if (Second) pending.push_back(Second);
  First = Second = nullptr;
  while (!pending.empty()) {
    CCondTreeNode* node = pending.back();
    pending.pop_back();
    if (node->First) pending.push_back(node->First);
    if (node->Second) pending.push_back(node->Second);
    node->First = node->Second = nullptr;
    delete node;
  }
}

bool CCondTreeNode::AttachChild(CCondTreeNode* child) {
  CCondTreeNode** slot = !First ? &First : !Second ? &Second : nullptr;
  if (!slot) return false;
  *slot = child;
  child->Parent = this;
  return true;
}

AnsiString CCondTreeNodeComp::GetKind() const { return "Comp"; }

void CCondTreeNodeComp::SwapSides() {
  std::swap(Left, Right);
  Op = MirrorCondOp(Op);
}

AnsiString CCondTreeNodeLogi::GetKind() const { return "Logi"; }

// ---- the tree ----

CCondTree::~CCondTree() { Clear(); }

void CCondTree::Clear() {
  alternatives_.clear();
  delete root_;
  root_ = nullptr;
  error_ = condOk;
}

AnsiString CCondTree::ErrorText() const {
  switch (error_) {
    case condSyntaxError: return SJ("検索条件を解釈できません。");
    case condTooManyAlternatives: return SJ("検索条件の組み合わせが多すぎます。");
    default: return AnsiString();
  }
}

bool CCondTree::Parse(const AnsiString& text, const StringOperandHook& hook) {
  Clear();
  std::vector<TToken> tokens;
  if (!TConditionReader::Tokenize(text, tokens)) {
    error_ = condSyntaxError;
    return false;
  }
  if (tokens.size() == 1) return true;  // blank: no condition
  TConditionReader reader(tokens, hook);
  TNodePtr root = reader.ParseOrExpr();
  if (!root || !reader.AtEnd()) {
    error_ = condSyntaxError;
    return false;
  }
  root_ = PushNot(root.release());
  if (!Flatten()) {
    Clear();
    error_ = condTooManyAlternatives;
    return false;
  }
  return true;
}

// Top-down, so the NOT nodes that a negation step creates below a node are met later in the walk;
// an explicit stack of child slots keeps deep trees off the call stack.
CCondTreeNode* CCondTree::PushNot(CCondTreeNode* node) {
  CCondTreeNode* top = node;
  std::vector<CCondTreeNode**> slots{&top};
  while (!slots.empty()) {
    CCondTreeNode** slot = slots.back();
    slots.pop_back();
    if (!*slot) continue;
    if (IsLogic(*slot, COND_NOT)) *slot = NegateNode(static_cast<CCondTreeNodeLogi*>(*slot));
    slots.push_back(&(*slot)->Second);
    slots.push_back(&(*slot)->First);
  }
  return top;
}

CCondTreeNode* CCondTree::NegateNode(CCondTreeNodeLogi* node) {
  CCondTreeNode* child = node->First;
  if (AsComp(child)) return NegateComparison(node);
  CCondTreeNodeLogi* logi = AsLogi(child);
  if (!logi) return node;
  switch (logi->Logic) {
    case COND_AND:
    case COND_OR: return ApplyDeMorgan(node);
    case COND_NOT:
      node->Logic = COND_NULL;
      logi->Logic = COND_NULL;
      return node;
    default:
      // NOT over a neutral node is the neutral node over a NOT; the walk negates that NOT next.
      node->Logic = COND_NULL;
      logi->Logic = COND_NOT;
      return node;
  }
}

CCondTreeNode* CCondTree::ApplyDeMorgan(CCondTreeNodeLogi* node) {
  auto* junction = static_cast<CCondTreeNodeLogi*>(node->First);
  node->Logic = junction->Logic == COND_AND ? COND_OR : COND_AND;
  node->First = nullptr;
  for (CCondTreeNode* operand : {junction->First, junction->Second}) {
    auto* negation = new CCondTreeNodeLogi(COND_NOT);
    if (operand) negation->AttachChild(operand);
    node->AttachChild(negation);
  }
  junction->First = junction->Second = nullptr;
  delete junction;
  return node;
}

CCondTreeNode* CCondTree::NegateComparison(CCondTreeNodeLogi* node) {
  auto* comp = static_cast<CCondTreeNodeComp*>(node->First);
  TakePlace(node, comp);
  node->First = nullptr;
  delete node;
  comp->Op = NegateCondOp(comp->Op);
  return comp;
}

// ---- flattening ----

struct CCondTree::TFlattening {
  TCondAndList current;
  std::vector<CCondTreeNode*> pendingOr;
  std::vector<TCondAndList> pendingLists;  // the AND list as it stood when each OR was met
  size_t held = 0;  // comparisons in the alternatives made and in the pending lists
};

bool CCondTree::CollectAndList(CCondTreeNode* node, TFlattening& state) {
  std::vector<CCondTreeNode*> stack{node};
  while (!stack.empty()) {
    CCondTreeNode* n = stack.back();
    stack.pop_back();
    if (!n) continue;
    if (CCondTreeNodeComp* comp = AsComp(n)) {
      if (state.held + state.current.size() >= static_cast<size_t>(kMaxAlternativeEntries)) return false;
      state.current.push_back(comp);
      continue;
    }
    CCondTreeNodeLogi* logi = AsLogi(n);
    if (!logi) continue;
    switch (logi->Logic) {
      case COND_AND:
        stack.push_back(n->Second);
        stack.push_back(n->First);
        break;
      case COND_OR:
        // Every pending OR ends as one more alternative, so the count is known here already.
        if (alternatives_.size() + 1 + state.pendingOr.size() + 1 > static_cast<size_t>(kMaxAlternatives)) return false;
        state.held += state.current.size();
        if (state.held + state.current.size() > static_cast<size_t>(kMaxAlternativeEntries)) return false;
        state.pendingOr.push_back(n);
        state.pendingLists.push_back(state.current);
        stack.push_back(n->First);
        break;
      case COND_NULL: stack.push_back(n->First); break;
      default: return false;  // a NOT: PushNot leaves none
    }
  }
  return true;
}

bool CCondTree::Flatten() {
  alternatives_.clear();
  if (!root_) return true;
  TFlattening state;
  auto finish = [&] {
    if (state.current.empty()) return;
    state.held += state.current.size();
    alternatives_.push_back(std::move(state.current));
    state.current.clear();
  };
  if (!CollectAndList(root_, state)) return false;
  finish();
  while (!state.pendingOr.empty()) {
    CCondTreeNode* orNode = state.pendingOr.back();
    state.current = std::move(state.pendingLists.back());
    state.pendingOr.pop_back();
    state.pendingLists.pop_back();
    state.held -= state.current.size();
    if (!CollectAndList(orNode->Second, state)) return false;
    // What follows the OR inside enclosing ANDs belongs to this alternative too.
    for (CCondTreeNode *child = orNode, *parent = orNode->Parent; parent; child = parent, parent = parent->Parent) {
      if (IsLogic(parent, COND_AND) && parent->First == child && !CollectAndList(parent->Second, state)) return false;
    }
    finish();
  }
  return true;
}
