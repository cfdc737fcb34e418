#include <gtest/gtest.h>

#include "foundation/CapInfo.h"
#include "tests/support/TestSupport.h"

namespace {

CCapInfo* Make(const char* caption, const char* name) {
  CCapInfo* c = new CCapInfo;
  c->Caption = caption;
  c->Name = name;
  return c;
}

}  // namespace

TEST(CapInfo, CloneCopiesEverythingAndOwnsItsNestedCopies) {
  CCapInfo src;
  src.Caption = "total";
  src.Position = 7;
  src.PassNumber = 2;
  src.Reserved1 = 11;
  src.Flags = 0x80000041u;
  src.Nested = new CCapInfoList;
  src.Nested->Add(Make("inner", "t.a"));
  src.Nested->GetItem(0)->Nested = new CCapInfoList;
  src.Nested->GetItem(0)->Nested->Add(Make("deep", "t.b"));

  CCapInfo* copy = CCapInfo::Clone(&src);
  EXPECT_EQ(copy->Caption, "total");
  EXPECT_EQ(copy->Position, 7);  // run-time fields travel with the copy
  EXPECT_EQ(copy->PassNumber, 2);
  EXPECT_EQ(copy->Reserved1, 11);
  EXPECT_EQ(copy->Flags, 0x80000041u);
  ASSERT_NE(copy->Nested, src.Nested);
  ASSERT_EQ(copy->Nested->Count(), 1);
  EXPECT_NE(copy->Nested->GetItem(0), src.Nested->GetItem(0));
  EXPECT_EQ(copy->Nested->GetItem(0)->Nested->GetItem(0)->Caption, "deep");
  delete copy;
  EXPECT_EQ(src.Nested->GetItem(0)->Nested->GetItem(0)->Caption, "deep");

  // Assigning a descriptor without nested items drops the own ones.
  CCapInfo plain;
  CCapInfo target;
  target.Assign(&src);
  target.Assign(&plain);
  EXPECT_EQ(target.Nested, nullptr);
  EXPECT_EQ(target.Caption, "");
}

TEST(CapInfo, AssignFromItsOwnNestedItemOrItself) {
  CCapInfo parent;
  parent.Caption = "parent";
  parent.Nested = new CCapInfoList;
  CCapInfo* child = Make("child", "t.c");
  child->Nested = new CCapInfoList;
  child->Nested->Add(Make("grandchild", "t.g"));
  parent.Nested->Add(child);

  parent.Assign(&parent);
  EXPECT_EQ(parent.Caption, "parent");
  ASSERT_EQ(parent.Nested->Count(), 1);

  // The source lives inside the list being replaced: it must be read before it goes.
  parent.Assign(parent.Nested->GetItem(0));
  EXPECT_EQ(parent.Caption, "child");
  ASSERT_NE(parent.Nested, nullptr);
  ASSERT_EQ(parent.Nested->Count(), 1);
  EXPECT_EQ(parent.Nested->GetItem(0)->Caption, "grandchild");
}

TEST(CapInfoList, DeletesOnlyWhatItOwns) {
  CCapInfoList owner;
  owner.Add(Make("a", "t.a"));
  owner.Add(Make("b", "t.b"));
  owner.Add(nullptr);
  {
    CCapInfoList view;
    view.OwnsItems = false;
    view.Add(owner.GetItem(0));
    view.Add(owner.GetItem(1));
  }  // the view goes; the descriptors stay with their owner
  EXPECT_EQ(owner.GetItem(1)->Caption, "b");

  owner.Delete(-1);
  owner.Delete(owner.Count());
  EXPECT_EQ(owner.Count(), 3);
  owner.Delete(0);
  ASSERT_EQ(owner.Count(), 2);
  EXPECT_EQ(owner.GetItem(0)->Caption, "b");
  EXPECT_THROW(owner.GetItem(2), EListError);

  // Clear deletes whatever the flag says (LeakSanitizer watches these).
  CCapInfoList borrowed;
  borrowed.OwnsItems = false;
  borrowed.Add(Make("c", "t.c"));
  borrowed.Delete(0);
  borrowed.Add(Make("d", "t.d"));
  borrowed.Clear();
  EXPECT_EQ(borrowed.Count(), 0);
}

TEST(CapInfoList, FindsByCaptionNameAndFieldName) {
  CCapInfoList l;
  l.Add(nullptr);
  l.Add(Make("Host", "log.host"));
  l.Add(Make(SJ("表示").c_str(), "log.t.x"));
  l.Add(Make("host", "other.host"));
  struct Case {
    int (CCapInfoList::*find)(const AnsiString&) const;
    AnsiString text;
    int index;
  } cases[] = {
      {&CCapInfoList::IndexOfCaption, "Host", 1},      {&CCapInfoList::IndexOfCaption, "host", 3},
      {&CCapInfoList::IndexOfCaption, SJ("表示"), 2},  {&CCapInfoList::IndexOfCaption, "HOST ", -1},
      {&CCapInfoList::IndexOfName, "other.host", 3},   {&CCapInfoList::IndexOfName, "host", -1},
      {&CCapInfoList::IndexOfFieldName, "host", 1},    {&CCapInfoList::IndexOfFieldName, "t.x", 2},
      {&CCapInfoList::IndexOfFieldName, "x", -1},
  };
  for (const Case& c : cases) EXPECT_EQ((l.*c.find)(c.text), c.index) << c.text;
}

TEST(CapInfo, ItemNamesAndTypeNames) {
  struct Case {
    const char* name;
    const char* table;
    const char* field;
  } names[] = {
      {"t.c.d", "t", "c.d"}, {"c", "", "c"}, {".c", "", "c"}, {"t.", "t", ""}, {"", "", ""},
  };
  for (const Case& c : names) {
    EXPECT_EQ(GetTablePart(c.name), c.table) << c.name;
    EXPECT_EQ(GetFieldPart(c.name), c.field) << c.name;
  }
  const char* types[] = {"string", "int", "real", "keyword"};
  for (int code = 0; code < 4; ++code) {
    EXPECT_EQ(FieldTypeName(code), types[code]);
    EXPECT_EQ(FieldTypeFromName(types[code]), code);
  }
  EXPECT_EQ(FieldTypeName(7), "string");
  EXPECT_EQ(FieldTypeName(-1), "string");
  EXPECT_EQ(FieldTypeFromName("INT"), 0);
  EXPECT_EQ(FieldTypeFromName(""), 0);
}
