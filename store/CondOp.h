// Operator codes of conditions, shared by the record tables' conditions, the value matcher and the
// query side (condition parser, comparison nodes, plan dumps).
//
//   code  name        written as      meaning
//   0     NULL                        no operator
//   1     AND                         logical kinds (dumps only)
//   2     OR
//   3     NOT
//   4     LES         "<"             less than
//   5     LES_EQL     "<="            less or equal
//   6     EQL         "="             equal
//   7     GRT_EQL     ">="            greater or equal
//   8     GRT         ">"             greater than
//   9     NOT_EQL     "<>" or "!="    not equal
//   10    LIKE        LIKE            pattern match
//   11    NOT_LIKE    UNLIKE          pattern does not match
//   12    ALL                         always true (every record, or every value of a column)
//   13    REJ                         never true
//
// The codes are stored in plain 32-bit ints wherever conditions travel, so they stay plain
// constants rather than a scoped enum.
#pragma once

enum : int {
  COND_NULL = 0,
  COND_AND = 1,
  COND_OR = 2,
  COND_NOT = 3,
  COND_LES = 4,
  COND_LES_EQL = 5,
  COND_EQL = 6,
  COND_GRT_EQL = 7,
  COND_GRT = 8,
  COND_NOT_EQL = 9,
  COND_LIKE = 10,
  COND_NOT_LIKE = 11,
  COND_ALL = 12,
  COND_REJ = 13,
};

// The name a dump prints for a code; "" for a code outside 0-13.
inline const char* CondOpName(int code) {
  static const char* const names[] = {"NULL",    "AND", "OR",      "NOT",     "LES",      "LES_EQL", "EQL",
                                      "GRT_EQL", "GRT", "NOT_EQL", "LIKE",    "NOT_LIKE", "ALL",     "REJ"};
  return code >= 0 && code <= COND_REJ ? names[code] : "";
}

// The operator that holds with the operands exchanged: 4 <-> 8, 5 <-> 7; every other code holds
// either way (or is not an ordering) and stays.
inline int MirrorCondOp(int code) {
  switch (code) {
    case COND_LES: return COND_GRT;
    case COND_GRT: return COND_LES;
    case COND_LES_EQL: return COND_GRT_EQL;
    case COND_GRT_EQL: return COND_LES_EQL;
    default: return code;
  }
}

// The operator that holds exactly when the code's does not: 4 <-> 7, 5 <-> 8, 6 <-> 9, 10 <-> 11,
// 12 <-> 13; the logical codes 0-3 stay.
inline int NegateCondOp(int code) {
  switch (code) {
    case COND_LES: return COND_GRT_EQL;
    case COND_GRT_EQL: return COND_LES;
    case COND_LES_EQL: return COND_GRT;
    case COND_GRT: return COND_LES_EQL;
    case COND_EQL: return COND_NOT_EQL;
    case COND_NOT_EQL: return COND_EQL;
    case COND_LIKE: return COND_NOT_LIKE;
    case COND_NOT_LIKE: return COND_LIKE;
    case COND_ALL: return COND_REJ;
    case COND_REJ: return COND_ALL;
    default: return code;
  }
}
