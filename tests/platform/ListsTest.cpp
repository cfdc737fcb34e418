#include <gtest/gtest.h>

#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "tests/support/TestSupport.h"

TEST(StringList, ObjectsTravelWithTheirStrings) {
  TStringList l;
  int a = 1, b = 2;
  l.AddObject("a", &a);
  l.AddObject("b", &b);
  l.Insert(0, "z");
  l.Exchange(1, 2);
  EXPECT_EQ(l[1], "b");
  EXPECT_EQ(l.Objects(1), &b);
  EXPECT_EQ(l.Objects(0), nullptr);
  l.Move(0, 2);
  EXPECT_EQ(l[2], "z");
  EXPECT_EQ(l.IndexOfObject(&a), 1);
  l.Delete(0);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.IndexOf("z"), 1);
}

TEST(StringList, OwnedObjectsAreFreed) {
  struct Counted : TObject {
    int* n;
    explicit Counted(int* c) : n(c) { ++*n; }
    ~Counted() override { --*n; }
  };
  int alive = 0;
  {
    TStringList l;
    l.OwnsObjects = true;
    l.AddObject("a", new Counted(&alive));
    l.AddObject("b", new Counted(&alive));
    l.Delete(0);
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

TEST(List, AnIndexOutsideTheListIsTheListIndexError) {
  TList l;
  int a = 1;
  l.Add(&a);
  for (int bad : {-1, 1}) {
    try {
      l.Items(bad);
      ADD_FAILURE() << bad;
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), Format("リストのインデックスが範囲を超えています (%d)", bad));
    }
    EXPECT_THROW(l.Delete(bad), EListError);
    EXPECT_THROW(l.SetItem(bad, nullptr), EListError);
  }
  EXPECT_EQ(l.Count(), 1);
}

TEST(StringList, TextSplitsAnyLineEnd) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd\r\n\r\ne");
  ASSERT_EQ(l.Count(), 6);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l[4], "");
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
}

TEST(Streams, FileAndMemoryStreamsAgree) {
  TempDir dir;
  const std::string path = dir.File("s.bin");
  {
    TFileStream f(path, fmCreate);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_TRUE(f.WriteBuffer("hello world", 11));
  }
  TMemoryStream m;
  ASSERT_TRUE(m.LoadFromFile(path));
  EXPECT_EQ(m.Size(), 11);
  char buf[8] = {};
  m.Seek(6, soBeginning);
  EXPECT_EQ(m.Read(buf, 8), 5);  // a short read at the end
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(m.Read(buf, 1), 0);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(DeleteFile(path));
  EXPECT_FALSE(FileExists(path));
  TFileStream missing(path, fmOpenRead);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Read(buf, 1), 0);
}

TEST(Files, StateMarkChangesWithTheFileOnly) {
  TempDir dir;
  const std::string path = dir.File("a.kvr");
  EXPECT_EQ(FileStateMark(path), "");
  WriteFileBytes(path, "one");
  const std::string first = FileStateMark(path);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(FileStateMark(path), first);
  WriteFileBytes(path, "two");  // same size, written again
  EXPECT_NE(FileStateMark(path), first);
  EXPECT_EQ(ChangeFileExt(path, ".#1"), dir.File("a.#1"));
  EXPECT_EQ(ChangeFileExt("dir.x/name", ".bak"), "dir.x/name.bak");
}
