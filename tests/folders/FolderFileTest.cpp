#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/LengthPrefixedText.h"
#include "platform/SysUtils.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Fixture(const char* name) { return ReadBytes(std::string(getenv("CW_TEST_DATA")) + "/data/" + name); }

std::string Saved(CRuleFolder& folder) {
  TMemoryStream out;
  EXPECT_TRUE(folder.Save(&out));
  return out.Bytes();
}

// A descriptor whose marks and comparison base read back as written.
CCapInfo* Stable(CCapInfo* info) {
  info->IncreaseMark = "+";
  info->DecreaseMark = "-";
  info->CompareBase = "-1";
  return info;
}

// The tree of the golden file, built through the folders' own fields.
void BuildGoldenTree(CTopRuleFolder& root) {
  auto* orders = new CRuleFolderTbl(&root);
  root.Children.Add(orders);
  orders->Name = "Orders";
  orders->TableName = "orders";
  orders->DataFile = "orders.kvr";
  orders->Relations.Add("cust");
  orders->Relations.Add("customers.id");
  orders->ClosedImage = 3;
  orders->OpenImage = 4;
  orders->CardPrintSettings = "cp";
  orders->SumCardPrintSettings = "sp";
  orders->CsvFilterIndex = 1;
  orders->CsvDir = "/data";
  CCapInfo* cust = Stable(Column("orders.cust", true, "Cust"));
  cust->Nested = Columns({Stable(Column("orders.sub", false, "Sub"))});
  orders->CapInfoList = Columns({cust, Stable(Column("orders.__REC__ID__", false, "__REC__ID__"))});
  CCapInfo* qty = Stable(Column("orders.qty", true, "Qty"));
  qty->Type = 1;
  qty->Aggregate = 4;
  orders->SumCapInfoList = Columns({qty});
  orders->CardLayout = new TStringList;
  orders->CardLayout->Add("1|8|8|120|20||Cust|0|0|0|0");
  orders->CardLayout->Add("1|8|32|120|20||Sub|0|0|0|0");
  orders->SumCardLayout = new TStringList;
  orders->SumCardLayout->Add("1|8|8|200|20||Qty|0|0|0|0");

  auto* big = new CRuleFolder(orders);
  orders->Children.Add(big);
  big->Name = "Big";
  big->Condition = "orders.qty > 10";
  big->MaxSearchCount = 50;
  auto* notes = new CRuleFolder(big);
  big->Children.Add(notes);
  notes->Name = "Notes";
  notes->Kind = FOLDER_HEADING;
  CCapInfo* total = Stable(ExtendedItem("total", "orders.qty * 2"));
  total->Caption = "Total";
  total->Type = 1;
  notes->CapInfoList = Columns({total});
  notes->LockMask = 4;
  notes->CommandName = "cmd";
  notes->Description = "desc";
  notes->Script = "setvalue(x)";
  notes->Target = 1;
  auto* byCust = new CRuleFolder(orders);
  orders->Children.Add(byCust);
  byCust->Name = "ByCust";
  byCust->Kind = FOLDER_ENUMERATION;
  byCust->EnumItem = "orders.cust";
  byCust->StrLength = 4;
  byCust->MaxEnumCount = 10;
  byCust->Group = "g";
  byCust->LockMask = 511;
  byCust->Flags = 896;
  byCust->ClosedImage = 2;

  auto* misc = new CRuleFolder(&root);
  root.Children.Add(misc);
  misc->Name = "Misc";
  misc->Kind = FOLDER_HEADING;
  // Held without own display columns: not written.
  misc->CardPrintSettings = "not written";
  misc->CardLayout = new TStringList;
  misc->CardLayout->Add("not written");
  misc->CsvFilterIndex = 3;
  misc->CsvDir = "/not/written";
}

// name -> "kind|condition|enumeration item|display columns" of every folder below and at f.
void Describe(CRuleFolder* f, std::map<std::string, std::string>& out) {
  out[f->Name] = Format("%d|%s|%s|%d", f->Kind, f->Condition.c_str(), f->EnumItem.c_str(),
                        f->CapInfoList ? f->CapInfoList->Count() : -1);
  for (int i = 0; i < f->Children.Count(); ++i) Describe(f->Children.Get(i), out);
}

bool Load(CTopRuleFolder& root, const std::string& bytes) {
  TMemoryStream in(bytes);
  return root.Load(&in);
}

AnsiString Record(const AnsiString& text) {
  TMemoryStream s;
  WriteLengthPrefixedString(&s, text);
  return s.Bytes();
}

}  // namespace

TEST(FolderFile, GoldenBytesWrittenReadAndWrittenAgain) {
  const std::string golden = Fixture("golden.fld");
  ASSERT_FALSE(golden.empty());
  CTopRuleFolder built;
  BuildGoldenTree(built);
  EXPECT_EQ(Saved(built), golden);

  CTopRuleFolder loaded;
  ASSERT_TRUE(Load(loaded, golden));
  EXPECT_EQ(loaded.LoadSkipped, 0);
  EXPECT_EQ(Saved(loaded), golden);
  std::map<std::string, std::string> a, b;
  Describe(&built, a);
  Describe(&loaded, b);
  EXPECT_EQ(a, b);

  auto* orders = dynamic_cast<CRuleFolderTbl*>(loaded.Children.Get(0));
  ASSERT_NE(orders, nullptr);
  EXPECT_EQ(orders->Flags, 0x68);
  EXPECT_EQ(orders->Relations.CommaText(), "cust,customers.id");
  ASSERT_NE(orders->DbHandle, nullptr);
  EXPECT_EQ(orders->DbHandle->TableNames().CommaText(), "orders");
  EXPECT_EQ(loaded.DbHandle->TableNames().Count(), 0);
  ASSERT_NE(orders->CapInfoList->GetItem(0)->Nested, nullptr);
  EXPECT_EQ(orders->CapInfoList->GetItem(0)->Nested->GetItem(0)->Name, "orders.sub");
  EXPECT_EQ(orders->SumCardLayout->CommaText(), "1|8|8|200|20||Qty|0|0|0|0");
  CRuleFolder* notes = orders->Children.Get(0)->Children.Get(0);
  EXPECT_EQ(notes->CapInfoList->GetItem(0)->Expression, "orders.qty * 2");
  EXPECT_EQ(notes->Script, "setvalue(x)");
}

TEST(FolderFile, TruncatedAtAnyByteLoadsAPrefixOfTheTree) {
  const std::string golden = Fixture("golden.fld");
  CTopRuleFolder full;
  ASSERT_TRUE(Load(full, golden));
  std::map<std::string, std::string> whole;
  Describe(&full, whole);
  const size_t rootRecord = 8 + std::stoul(golden.substr(0, 8), nullptr, 16);
  for (size_t n = 0; n < golden.size(); ++n) {
    CTopRuleFolder root;
    const bool loaded = Load(root, golden.substr(0, n));
    ASSERT_EQ(loaded, n >= rootRecord) << n;
    if (!loaded) {
      EXPECT_EQ(root.Children.Count(), 0);
      continue;
    }
    EXPECT_GT(root.LoadSkipped, 0) << n;
    std::map<std::string, std::string> part;
    Describe(&root, part);
    for (const auto& [name, description] : part) {
      ASSERT_EQ(whole.count(name), 1u) << n << ": a folder that is not in the file, " << Show(name);
      // A folder cut inside its columns has fewer of them; everything else is as in the file.
      if (name != "Orders" && name != "Notes") {
        EXPECT_EQ(description, whole[name]) << n;
      }
    }
  }
}

TEST(FolderFile, DamagedItemsAreSkippedAndCounted) {
  const AnsiString plain = Record("");
  auto folder = [](const char* fields) { return Record(AnsiString(fields) + "\n"); };
  struct Case {
    const char* what;
    AnsiString bytes;
    int skipped;
    std::function<void(CTopRuleFolder&)> check;
  } cases[] = {
      {"a short record reads the missing fields as their defaults", folder("R,0,,,5"), 0,
       [](CTopRuleFolder& r) {
         EXPECT_EQ(r.StrLength, 5);
         EXPECT_EQ(r.MaxSearchCount, -1);
         EXPECT_EQ(r.ClosedImage, -1);
         EXPECT_EQ(r.OpenImage, -1);
         EXPECT_EQ(r.MaxEnumCount, 0);
         EXPECT_EQ(r.Flags, 0);
       }},
      {"an integer field that is no whole decimal number reads as its default", folder("R,0x1,,,$5,+3,,,,,12a"), 0,
       [](CTopRuleFolder& r) {
         EXPECT_EQ(r.Kind, 0);
         EXPECT_EQ(r.StrLength, 0);
         EXPECT_EQ(r.MaxEnumCount, 0);
         EXPECT_EQ(r.MaxSearchCount, -1);
       }},
      {"a layout line whose length cannot be is skipped; a line count of 0 leaves no line list",
       folder("R,0,,,0,0,,0,1,0,-1,0,0,0,-1,-1,,2,0") +
           Record("c,t.c,0,64,1,,0,-1,1,1,1,1,0,0,0,0,0\n") + "ffffffff" + Record("x"),
       1,
       [](CTopRuleFolder& r) {
         ASSERT_NE(r.CardLayout, nullptr);
         EXPECT_EQ(r.CardLayout->CommaText(), "x");
         EXPECT_EQ(r.SumCardLayout, nullptr);
       }},
      {"a sub-folder whose record does not read is left out, and its sibling loads",
       folder("R,0,,,0,0,,2") + plain + Record("Broken,0") + plain + folder("Good,-1"), 1,
       [](CTopRuleFolder& r) {
         ASSERT_EQ(r.Children.Count(), 1);
         EXPECT_EQ(r.Children.Get(0)->Name, "Good");
       }},
      {"an unknown type key makes nothing", folder("R,0,,,0,0,,2") + Record("chart") + plain + folder("Good,-1"), 1,
       [](CTopRuleFolder& r) {
         ASSERT_EQ(r.Children.Count(), 1);
         EXPECT_EQ(r.Children.Get(0)->Name, "Good");
       }},
      {"a table folder keeps a handle of its own and its flags are 0x68 whatever the record says",
       folder("R,0,,,0,0,,1") + Record("table") + folder("t,t.kvr") + folder("T,-1,,,0,0,,0,0,0,-1,0,1"), 0,
       [](CTopRuleFolder& r) {
         auto* t = dynamic_cast<CRuleFolderTbl*>(r.Children.Get(0));
         ASSERT_NE(t, nullptr);
         EXPECT_EQ(t->Flags, 0x68);
         ASSERT_NE(t->DbHandle, nullptr);
         EXPECT_EQ(t->DbHandle->TableNames().CommaText(), "t");
         EXPECT_EQ(r.DbHandle->TableNames().Count(), 0);
         ASSERT_NE(t->CapInfoList, nullptr);
         EXPECT_EQ(t->CapInfoList->Count(), 0);
       }},
      {"counts far beyond the bytes end at the end of the file",
       folder("R,0,,,0,0,,2147483647,2147483647,0,-1,0,0,2147483647,-1,-1,,2147483647,2147483647"), 1,
       [](CTopRuleFolder& r) {
         EXPECT_EQ(r.Children.Count(), 0);
         EXPECT_EQ(r.CapInfoList->Count(), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CTopRuleFolder root;
    ASSERT_TRUE(Load(root, c.bytes));
    EXPECT_EQ(root.LoadSkipped, c.skipped);
    c.check(root);
  }
}

TEST(FolderFile, NestingDeeperThanTheLimitIsLeftOut) {
  std::string bytes = Record("R,0,,,0,0,,1\n");
  for (int i = 0; i < FOLDER_MAX_DEPTH + 50; ++i) bytes += Record("") + Record(Format("F%d,0,,,0,0,,1\n", i));
  CTopRuleFolder root;
  ASSERT_TRUE(Load(root, bytes));
  int depth = 0;
  for (CRuleFolder* f = &root; f->Children.Count() > 0; f = f->Children.Get(0)) ++depth;
  EXPECT_EQ(depth, FOLDER_MAX_DEPTH);
  EXPECT_GT(root.LoadSkipped, 0);
}

TEST(FolderFile, LoadingTellsOnceWhatWasLeftOut) {
  TempDir dir;
  const std::string golden = Fixture("golden.fld");
  CTopRuleFolder root;
  root.ReadPath = dir.File("cw.fld");
  root.WritePath = root.ReadPath;
  MessageCatcher messages;

  EXPECT_FALSE(root.LoadFolderFile());  // no file: the first start
  EXPECT_TRUE(messages.texts.empty());

  WriteBytes(root.ReadPath, golden);
  EXPECT_TRUE(root.LoadFolderFile());
  EXPECT_TRUE(messages.texts.empty());

  WriteBytes(root.ReadPath, golden.substr(0, golden.size() - 20));
  EXPECT_TRUE(root.LoadFolderFile());
  ASSERT_EQ(messages.texts.size(), 1u);
  const std::string text = SjisToUtf8(messages.texts[0]);
  EXPECT_NE(text.find(root.ReadPath), std::string::npos) << text;
  EXPECT_NE(text.find(" 1 個"), std::string::npos) << text;
  EXPECT_NE(text.find(dir.File("cw") + "_1.fld"), std::string::npos) << text;
  EXPECT_EQ(root.Children.Count(), 1);  // "Misc" was cut off
  EXPECT_EQ(root.RootNode->Name, "Cindervault");

  WriteBytes(root.ReadPath, "0000");
  CDbHandle* handle = root.DbHandle;
  EXPECT_FALSE(root.LoadFolderFile());
  EXPECT_EQ(messages.texts.size(), 2u);
  EXPECT_EQ(root.DbHandle, handle);
  EXPECT_EQ(root.Children.Count(), 1);
}

TEST(FolderFile, SavesRotateFourBackups) {
  TempDir dir;
  CTopRuleFolder root;
  root.SetFolderFilePaths(dir.File("settings/app.ini"), dir.File("app.ini"));
  EXPECT_EQ(root.ReadPath, dir.File("settings/app.fld"));
  EXPECT_EQ(root.WritePath, dir.File("app.fld"));
  root.ReadPath = root.WritePath;
  for (int v = 1; v <= 6; ++v) {
    root.Name = Format("v%d", v);
    ASSERT_TRUE(root.SaveFolderFile()) << v;
  }
  auto nameIn = [](const std::string& path) {
    CTopRuleFolder r;
    return Load(r, ReadBytes(path)) ? r.Name : AnsiString("?");
  };
  EXPECT_EQ(nameIn(dir.File("app.fld")), "v6");
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(nameIn(dir.File(Format("app_%d.fld", k))), Format("v%d", 6 - k)) << k;
  EXPECT_FALSE(FileExists(dir.File("app_5.fld")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 5);
}

namespace {

// The current file and its four backups, each with its own bytes.
struct Generations {
  explicit Generations(const TempDir& dir) : base(dir.File("cw")) {
    for (int k = 0; k <= 4; ++k) {
      const std::string path = Path(k);
      if (k == 2) continue;
      bytes[k] = Format("generation %d", k);
      WriteBytes(path, bytes[k]);
    }
  }
  std::string Path(int k) const { return k == 0 ? base + ".fld" : Format("%s_%d.fld", base.c_str(), k); }
  void ExpectUnchanged() const {
    for (const auto& [k, b] : bytes) EXPECT_EQ(ReadBytes(Path(k)), b) << k;
    EXPECT_FALSE(FileExists(base + ".fld.tmp"));
  }
  std::string base;
  std::map<int, std::string> bytes;
};

}  // namespace

TEST(FolderFile, AShortWriteLeavesTheFileAndItsBackupsAsTheyWere) {
  TempDir dir;
  Generations gen(dir);
  WriteBytes(gen.Path(2), "generation 2");
  gen.bytes[2] = "generation 2";
  // The save runs in a child whose files may not grow beyond 200 bytes: the tree needs more.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200, 200};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    CTopRuleFolder root;
    root.ReadPath = root.WritePath = gen.Path(0);
    BuildGoldenTree(root);
    _exit(root.SaveFolderFile() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save claimed success";
  gen.ExpectUnchanged();
}

TEST(FolderFile, ARotationStepThatFailsPutsBackWhatMoved) {
  TempDir dir;
  Generations gen(dir);
  // Backup 2 is a directory: moving backup 1 onto it fails after backup 3 has moved to 4.
  ASSERT_EQ(mkdir(gen.Path(2).c_str(), 0700), 0);
  WriteBytes(gen.Path(2) + "/inside", "x");
  gen.bytes.erase(4);
  std::filesystem::remove(gen.Path(4));
  CTopRuleFolder root;
  root.ReadPath = root.WritePath = gen.Path(0);
  EXPECT_FALSE(root.SaveFolderFile());
  gen.ExpectUnchanged();
  EXPECT_FALSE(std::filesystem::exists(gen.Path(4)));
  EXPECT_TRUE(std::filesystem::is_directory(gen.Path(2)));
}
