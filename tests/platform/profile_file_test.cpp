#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>

#include "platform/profile_file.h"
#include "platform/temp_folder.h"

namespace {

TEST(ProfileRead, FollowsTheProfileFileRules) {
  TTempFolder dir;
  const std::string ini = dir / "rules.ini";
  WriteFileBytes(ini,
                 "Orphan=before any section\n"
                 "; a comment\n"
                 "[ main ]\r\n"
                 "  DataBase   =   /data/shop.fdb   \r\n"
                 "database=second wins never\n"
                 "Empty=\n"
                 "NoEquals line\n"
                 "Tabbed\t=\tvalue\twith\ttabs\t\n"
                 "Inner = a = b\n"
                 "[Broken\n"
                 "AfterBroken=still main\n"
                 "[Other]\n"
                 "DataBase=other section\n"
                 "[MAIN]\n"
                 "Late=duplicate section is not read\n"
                 "[Last]\n"
                 "NoLineEnd=tail");
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  } cases[] = {
      {"Main", "DataBase", "/data/shop.fdb"},
      {"MAIN", "DATABASE", "/data/shop.fdb"},
      {"Main", "Empty", ""},
      {"Main", "Tabbed", "value\twith\ttabs"},
      {"Main", "Inner", "a = b"},
      {"Main", "AfterBroken", "still main"},
      {"Main", "Late", std::nullopt},
      {"Main", "NoEquals line", std::nullopt},
      {"Main", "Orphan", std::nullopt},
      {"Main", "; a comment", std::nullopt},
      {"Other", "DataBase", "other section"},
      {"Last", "NoLineEnd", "tail"},
      {"Missing", "DataBase", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadProfileValue(ini, c.section, c.key), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(ReadProfileValue(dir / "absent.ini", "Main", "DataBase"), std::nullopt);
}

TEST(ProfileRead, ValuesAreCutAt2047CharactersNeverInsideACharacter) {
  TTempFolder dir;
  const std::string ini = dir / "long.ini";
  const std::string ascii(3000, 'a');
  std::string cyrillic;
  for (int i = 0; i < 2100; ++i) cyrillic += "ж";
  WriteFileBytes(ini, "[S]\nA=" + ascii + "\nC=" + cyrillic + "\nX=" + std::string(2046, 'x') + "ж\n");
  EXPECT_EQ(ReadProfileValue(ini, "S", "A"), std::string(2047, 'a'));
  const auto c = ReadProfileValue(ini, "S", "C");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->size(), 2047u * 2);
  EXPECT_EQ(ReadProfileValue(ini, "S", "X"), std::string(2046, 'x') + "ж");
}

// A value in matching double or single quotes reads without them, as the
// Windows profile functions read it; a value we write that would otherwise
// read back altered (blanks at its ends, or itself enclosed in matching
// quotes) is written inside double quotes, so it reads back exactly.
TEST(ProfileQuotes, QuotedValuesLoseOnePairAndWrittenValuesReadBackExactly) {
  TTempFolder dir;
  const std::string ini = dir / "quotes.ini";
  WriteFileBytes(ini,
                 "[S]\n"
                 "D=\"/srv/my data/shop.fdb\"\n"
                 "Q='single'\n"
                 "Mixed=\"not matching'\n"
                 "One=\"\n"
                 "Two=\"\"\n"
                 "Inner=a \"b\" c\n"
                 "Spaced=  \"  kept  \"  \n");
  struct Case {
    const char* key;
    std::string expected;
  } cases[] = {
      {"D", "/srv/my data/shop.fdb"}, {"Q", "single"},       {"Mixed", "\"not matching'"}, {"One", "\""}, {"Two", ""},
      {"Inner", "a \"b\" c"},         {"Spaced", "  kept  "}};
  for (const Case& c : cases) EXPECT_EQ(ReadProfileValue(ini, "S", c.key), c.expected) << c.key;

  TIniFile file(ini);
  const std::string values[] = {
      " pass",           "pass ",    "\tpw\t", "\"quoted\"", "'single'", "\"\"", "\"",     "'",
      "p=ss;word#\"1\"", "\"a' b\"", "'x\"",   "plain",      "",         " ",    "\"\"\"", std::string(2047, 'q')};
  for (const std::string& value : values) {
    file.WriteString("W", "Pass", value);
    EXPECT_EQ(file.ReadString("W", "Pass", "-"), value) << "[" << value << "]";
  }
  // Ordinary values stand in the file exactly as given.
  file.WriteString("W", "Pass", "p=ss;word#\"1\"");
  EXPECT_NE(ReadFileBytes(ini).find("\nPass=p=ss;word#\"1\"\n"), std::string::npos);
  file.WriteString("W", "Pass", " pass");
  EXPECT_NE(ReadFileBytes(ini).find("\nPass=\" pass\"\n"), std::string::npos);
}

// An editor may put a UTF-8 byte order mark before the first section: the
// section is still found and the mark is kept.
TEST(ProfileRead, AByteOrderMarkDoesNotHideTheFirstSection) {
  TTempFolder dir;
  const std::string ini = dir / "bom.ini";
  WriteFileBytes(ini, "\xEF\xBB\xBF[Main]\r\nUser=bob\r\n");
  EXPECT_EQ(ReadProfileValue(ini, "Main", "User"), "bob");
  TIniFile(ini).WriteString("Main", "Pass", "pw");
  EXPECT_EQ(ReadFileBytes(ini), "\xEF\xBB\xBF[Main]\r\nUser=bob\r\nPass=pw\r\n");
  WriteFileBytes(ini, "\xEF\xBB\xBFKey=before any section\n[S]\nKey=v\n");
  EXPECT_EQ(ReadProfileValue(ini, "S", "Key"), "v");
}

// What is no profile file at all, judged before the first section only: a
// file the program always read (a damaged end, keys before the first
// section) still is one.
TEST(ProfileRead, NoSectionLineOrBinaryBytesBeforeTheFirstAreNoProfileFile) {
  const std::string none = "";
  const std::string binary = "it holds binary bytes before its first [section] line";
  const std::string noSection = "it has no [section] line";
  struct Row {
    std::string content;
    std::string fault;
  } const rows[] = {
      {"", none},
      {"\xEF\xBB\xBF\r\n  \n; only a comment\n# another\n", none},
      {"Orphan=1\n[Main]\nUser=x\n", none},
      {std::string("[Main]\nUser=x\n\0\0\0\x01", 18), none},
      {"DataBase=/srv/db/shop.fdb\n", noSection},
      {std::string("\x1F\x8B\x08\0\n[Main]\n", 12), binary},
      {std::string("\xFF\xFE[\0M\0]\0", 8), binary},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.content);
    EXPECT_EQ(ProfileContentFault(row.content).value_or(none), row.fault);
  }
}

TEST(ProfileInteger, DecimalAndTheHexRule) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {{"4096", 4096},
               {"-1", -1},
               {"+7", 7},
               {"0x10", 16},
               {"0X1f", 31},
               {"0xFFFFFFFF", -1},
               {"0x", std::nullopt},
               {"0x1FFFFFFFF", std::nullopt},
               {"0xg", std::nullopt},
               {"12abc", std::nullopt},
               {"", std::nullopt},
               {"-", std::nullopt},
               {"2147483647", 2147483647},
               {"-2147483648", INT32_MIN},
               {"2147483648", std::nullopt},
               {"99999999999999999999", std::nullopt},
               {"1 2", std::nullopt},
               {"$10", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(ParseProfileInteger(c.text), c.value) << c.text;
}

TEST(ProfileWrite, ChangesOnlyTheWrittenKeyAndKeepsEveryOtherLine) {
  TTempFolder dir;
  const std::string ini = dir / "keep.ini";
  const std::string original =
      "; settings by hand\r\n"
      "[Main]\r\n"
      "  DataBase = old  \r\n"
      "Keep=me\r\n"
      "\r\n"
      "[Other]\r\n"
      "x = 1\r\n";
  WriteFileBytes(ini, original);
  TIniFile file(ini);
  file.WriteString("main", "database", "/new/db.fdb");
  file.WriteString("Main", "Added", "v");
  file.WriteString("Other", "y", "2");
  file.WriteString("New", "z", "3");
  EXPECT_EQ(ReadFileBytes(ini),
            "; settings by hand\r\n"
            "[Main]\r\n"
            "database=/new/db.fdb\r\n"
            "Keep=me\r\n"
            "Added=v\r\n"
            "\r\n"
            "[Other]\r\n"
            "x = 1\r\n"
            "y=2\r\n"
            "\r\n"
            "[New]\r\n"
            "z=3\r\n");
  EXPECT_EQ(file.ReadString("Main", "DataBase", "-"), "/new/db.fdb");
}

TEST(ProfileWrite, FileWithoutFinalLineEndAndDuplicateKeys) {
  TTempFolder dir;
  const std::string ini = dir / "dup.ini";
  WriteFileBytes(ini, "[S]\nK=first\nK=second\nT=tail");
  TIniFile file(ini);
  file.WriteString("S", "K", "changed");
  file.WriteString("S", "U", "u");
  EXPECT_EQ(ReadFileBytes(ini), "[S]\nK=changed\nK=second\nT=tail\nU=u\n");
  EXPECT_EQ(file.ReadString("S", "K", ""), "changed");

  // A lone CR ends a line as LF does, so no value can carry one.
  WriteFileBytes(ini, "[S]\rA=1\rB=2\r");
  EXPECT_EQ(file.ReadString("S", "B", ""), "2");
  file.WriteString("S", "A", "x");
  EXPECT_EQ(ReadFileBytes(ini), "[S]\rA=x\rB=2\r");
}

TEST(ProfileWrite, NewFileIsTheOwnersOnlyAndExistingModeIsKept) {
  TTempFolder dir;
  const std::string ini = dir / "new.ini";
  const mode_t old = umask(0);
  TIniFile(ini).WriteString("Main", "Pass", "secret");
  umask(old);
  struct stat st {};
  ASSERT_EQ(stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(ini), "[Main]\nPass=secret\n");

  ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
  TIniFile(ini).WriteString("Main", "User", "bob");
  ASSERT_EQ(stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No temporary copies are left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(ProfileWrite, ALinkedFileStaysLinked) {
  TTempFolder dir;
  const std::string real = dir / "real.ini";
  const std::string link = dir / "link.ini";
  WriteFileBytes(real, "[Main]\nA=1\n");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  TIniFile(link).WriteString("Main", "A", "2");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(real), "[Main]\nA=2\n");
}

TEST(ProfileWrite, RefusedWritesRaiseTheMessageWithThePath) {
  TTempFolder dir;
  // A folder where the file should be: no write can succeed.
  const std::string blocked = dir / "blocked.INI";
  ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
  TIniFile file(blocked);
  try {
    file.WriteString("Main", "User", "x");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message, "Unable to write to " + blocked);
  }
  EXPECT_EQ(file.ReadString("Main", "User", "dflt"), "dflt");

  // A line break would smuggle new lines into the file: refused, file intact.
  const std::string ini = dir / "ok.ini";
  WriteFileBytes(ini, "[Main]\nA=1\n");
  TIniFile ok(ini);
  EXPECT_THROW(ok.WriteString("Main", "A", "x\n[Main]\nPass=evil"), EIniFileException);
  EXPECT_THROW(ok.WriteString("Main", "B", "x\ry"), EIniFileException);
  EXPECT_THROW(ok.WriteString("Ma]in", "B", "x"), EIniFileException);
  EXPECT_THROW(ok.WriteString("Main", "B=C", "x"), EIniFileException);
  EXPECT_EQ(ReadFileBytes(ini), "[Main]\nA=1\n");
}

TEST(ProfileTypedValues, EncodingsReadAndWrite) {
  std::setlocale(LC_ALL, "C");
  TTempFolder dir;
  const std::string ini = dir / "typed.ini";
  WriteFileBytes(ini, "[V]\nB0=0\nB1=1\nB5=5\nBx=yes\nI=0x20\nBad=12abc\nEmpty=\nT1=8:05\nT2=20:00:00\nTbad=25:00\n");
  TIniFile file(ini);
  EXPECT_FALSE(file.ReadBool("V", "B0", true));
  EXPECT_TRUE(file.ReadBool("V", "B1", false));
  EXPECT_TRUE(file.ReadBool("V", "B5", false));
  EXPECT_TRUE(file.ReadBool("V", "Bx", true));
  EXPECT_FALSE(file.ReadBool("V", "Bx", false));
  EXPECT_EQ(file.ReadInteger("V", "I", 0), 32);
  EXPECT_EQ(file.ReadInteger("V", "Bad", 77), 77);
  EXPECT_EQ(file.ReadInteger("V", "Empty", 77), 77);
  EXPECT_EQ(file.ReadString("V", "Empty", "dflt"), "");
  EXPECT_EQ(file.ReadString("V", "Missing", "dflt"), "dflt");
  EXPECT_NEAR(file.ReadTime("V", "T1", 0), EncodeTime(8, 5, 0, 0), 1e-9);
  EXPECT_NEAR(file.ReadTime("V", "T2", 0), EncodeTime(20, 0, 0, 0), 1e-9);
  EXPECT_DOUBLE_EQ(file.ReadTime("V", "Missing", 0.25), 0.25);
  EXPECT_THROW(file.ReadTime("V", "Tbad", 0), EConvertError);
  EXPECT_THROW(file.ReadTime("V", "Empty", 0), EConvertError);

  file.WriteBool("W", "B", true);
  file.WriteInteger("W", "I", -1);
  file.WriteTime("W", "T", EncodeDate(2026, 12, 6) + EncodeTime(23, 30, 45, 0));
  EXPECT_EQ(file.ReadString("W", "B", ""), "1");
  EXPECT_EQ(file.ReadString("W", "I", ""), "-1");
  EXPECT_EQ(file.ReadString("W", "T", ""), "23:30:45");
  EXPECT_NEAR(file.ReadTime("W", "T", 0), EncodeTime(23, 30, 45, 0), 1e-9);
}

}  // namespace
