#include "IniFile.h"

#include "Exception.h"
#include "ProjectTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using Kalvoro::ParseInteger;
using Kalvoro::TIniFile;
using namespace KalvoroTest;

TEST(IniFileTest, MatchesSectionAndKeyNamesWithoutRegardToCase) {
  const TIniFile Ini = TIniFile::Parse("x.kvr", "[Project]\nSignature=Kalvoro\n");
  EXPECT_EQ(Ini.ReadString("PROJECT", "signature", "none"), "Kalvoro");
  EXPECT_TRUE(Ini.ValueExists("project", "SIGNATURE"));
  EXPECT_TRUE(Ini.SectionExists("pRoJeCt"));
  EXPECT_FALSE(Ini.ValueExists("Project", "Signatur"));
  EXPECT_FALSE(Ini.ValueExists("Projects", "Signature"));
  EXPECT_EQ(Ini.ReadString("Project", "Missing", "fallback"), "fallback");
}

TEST(IniFileTest, PrefersTheExactSpellingAmongNamesThatDifferOnlyInCase) {
  // Paths that differ only in case name different module files.
  const TIniFile Ini = TIniFile::Parse("x.kvr", "[/t/A.so]\nAssign0=upper\n"
                                                "[/t/a.so]\nAssign0=lower\n"
                                                "[S]\nkey=first\nKEY=second\n");
  EXPECT_EQ(Ini.ReadString("/t/A.so", "Assign0", ""), "upper");
  EXPECT_EQ(Ini.ReadString("/t/a.so", "Assign0", ""), "lower");
  EXPECT_EQ(Ini.ReadString("/T/A.SO", "Assign0", ""), "upper");
  EXPECT_EQ(Ini.ReadString("S", "KEY", ""), "second");
  EXPECT_EQ(Ini.ReadString("S", "Key", ""), "first");

  TIniFile Written("x.kvr");
  Written.WriteString("/t/A.so", "Assign0", "upper");
  Written.WriteString("/t/a.so", "Assign0", "lower");
  EXPECT_EQ(Written.Text(), CrLf("[/t/A.so]\nAssign0=upper\n[/t/a.so]\nAssign0=lower\n"));
}

// Thousands of names, some differing only in case, some sections empty: every
// look-up still finds its own item after the index has grown many times.
TEST(IniFileTest, LookupsHoldAsTheIndexGrows) {
  std::string Text;
  for (int Index = 0; Index < 3000; ++Index) {
    const std::string Number = std::to_string(Index);
    Text += "[Sec" + Number + "]\nk=" + Number + "\n[Empty" + Number + "]\n";
    if (Index % 2 == 0)
      Text += "[SEC" + Number + "]\nk=upper" + Number + "\n";
  }
  const TIniFile Ini = TIniFile::Parse("x.kvr", Text);
  for (int Index = 0; Index < 3000; ++Index) {
    const std::string Number = std::to_string(Index);
    ASSERT_EQ(Ini.ReadString("sec" + Number, "K", ""), Number);
    ASSERT_TRUE(Ini.SectionExists("EMPTY" + Number));
    ASSERT_FALSE(Ini.ValueExists("Empty" + Number, "k"));
    ASSERT_EQ(Ini.ReadString("SEC" + Number, "k", ""), Index % 2 == 0 ? "upper" + Number : Number);
  }
  EXPECT_FALSE(Ini.SectionExists("Sec3000"));
  EXPECT_EQ(TIniFile::Parse("x.kvr", Ini.Text()).Text(), Ini.Text());
}

TEST(IniFileTest, KeepsValuesExactly) {
  const TIniFile Ini = TIniFile::Parse("x.kvr", "[S]\n"
                                                "Blanks=  two blanks each side  \n"
                                                "Quoted=\"quoted\"\n"
                                                "Single='single'\n"
                                                "Equals=a=b|c\n"
                                                "Empty=\n"
                                                "  Indented = value\r\n");
  EXPECT_EQ(Ini.ReadString("S", "Blanks", ""), "  two blanks each side  ");
  EXPECT_EQ(Ini.ReadString("S", "Quoted", ""), "\"quoted\"");
  EXPECT_EQ(Ini.ReadString("S", "Single", ""), "'single'");
  EXPECT_EQ(Ini.ReadString("S", "Equals", ""), "a=b|c");
  EXPECT_TRUE(Ini.ValueExists("S", "Empty"));
  EXPECT_EQ(Ini.ReadString("S", "Empty", "default"), "");
  // Blanks around a key are not part of it; those after "=" belong to the value.
  EXPECT_EQ(Ini.ReadString("S", "Indented", ""), " value");
}

TEST(IniFileTest, ReadsLayoutVariants) {
  const TIniFile Ini = TIniFile::Parse("x.kvr", "\xEF\xBB\xBF"
                                                "Orphan=before any section\n"
                                                "[First]\r\nA=1\r\n\r\n   \nno equals sign here\n"
                                                "[/path/with]/bracket].so] trailing\n"
                                                "Assign0=x\n"
                                                "  [Unclosed\nB=2\n"
                                                "[First]\nA=ignored, the first entry counts\nC=3");
  EXPECT_FALSE(Ini.ValueExists("", "Orphan"));
  EXPECT_EQ(Ini.ReadString("First", "A", ""), "1");
  EXPECT_EQ(Ini.ReadString("First", "C", ""), "3");
  EXPECT_EQ(Ini.ReadString("/path/with]/bracket].so", "Assign0", ""), "x");
  EXPECT_EQ(Ini.ReadString("Unclosed", "B", ""), "2");

  // A lone carriage return ends a line too, so no value ever holds one.
  const TIniFile Old = TIniFile::Parse("x.kvr", "[S]\rA=1\rB=two\rwords\r\n");
  EXPECT_EQ(Old.ReadString("S", "A", ""), "1");
  EXPECT_EQ(Old.ReadString("S", "B", ""), "two");
}

TEST(IniFileTest, ParsesIntegersByTheFileRules) {
  EXPECT_EQ(ParseInteger("0"), 0);
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("+42"), 42);
  EXPECT_EQ(ParseInteger("-42"), -42);
  EXPECT_EQ(ParseInteger("007"), 7);
  EXPECT_EQ(ParseInteger("  \t12"), 12);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInteger("$1f"), 31);
  EXPECT_EQ(ParseInteger("0x1F"), 31);
  EXPECT_EQ(ParseInteger("0X10"), 16);
  EXPECT_EQ(ParseInteger("x10"), 16);
  EXPECT_EQ(ParseInteger("X0a"), 10);
  EXPECT_EQ(ParseInteger(" $0000000000FF"), 255);
  EXPECT_EQ(ParseInteger("$7FFFFFFF"), 2147483647);
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);

  for (const char* Text :
       {"", "   ", "-", "+", "$", "0x", "x", "12 ", "1 2", "1.0", "abc", "--1", "-$10", "$-10",
        "0x1G", "2147483648", "-2147483649", "99999999999999999999", "$100000000"})
    EXPECT_EQ(ParseInteger(Text), std::nullopt) << '"' << Text << '"';
}

TEST(IniFileTest, ReadsIntegersAndBooleansWithDefaults) {
  const TIniFile Ini =
      TIniFile::Parse("x.kvr", "[S]\nNumber=0x20\nBad=twelve\nZero=0\nTwo=2\nNoBool=yes\n");
  EXPECT_EQ(Ini.ReadInteger("S", "Number", -1), 32);
  EXPECT_EQ(Ini.ReadInteger("S", "Bad", -1), -1);
  EXPECT_EQ(Ini.ReadInteger("S", "Missing", 7), 7);
  EXPECT_FALSE(Ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(Ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(Ini.ReadBool("S", "NoBool", false));
  EXPECT_TRUE(Ini.ReadBool("S", "NoBool", true));
  EXPECT_TRUE(Ini.ReadBool("S", "Missing", true));
}

TEST(IniFileTest, WritesInFirstWriteOrderWithCrLfAndReplacesValues) {
  TIniFile Ini("x.kvr");
  Ini.WriteString("B", "Key", "old");
  Ini.WriteInteger("A", "Count", -12);
  Ini.WriteBool("B", "Flag", true);
  Ini.WriteBool("A", "Off", false);
  Ini.WriteString("B", "Key", " new ");
  EXPECT_EQ(Ini.Text(), "[B]\r\nKey= new \r\nFlag=1\r\n[A]\r\nCount=-12\r\nOff=0\r\n");
  EXPECT_EQ(TIniFile::Parse("x.kvr", Ini.Text()).Text(), Ini.Text());
}

TEST(IniFileTest, RefusesWhatCannotBeStoredInALine) {
  TIniFile Ini("/some/file.kvr");
  EXPECT_THROW(Ini.WriteString("S", "Key", "two\nlines"), Kalvoro::Exception);
  EXPECT_THROW(Ini.WriteString("S", "Key", "ends in\r"), Kalvoro::Exception);
  EXPECT_THROW(Ini.WriteString("Sec\ntion", "Key", "v"), Kalvoro::Exception);
  for (const char* Key : {"", "a=b", "[Key", " Key", "Key ", "K\ney"})
    EXPECT_THROW(Ini.WriteString("S", Key, "v"), Kalvoro::Exception) << Key;
  EXPECT_EQ(Ini.Text(), "");
  try {
    Ini.WriteString("S", "Key", "a\nb");
  } catch (const Kalvoro::Exception& Error) {
    EXPECT_EQ(Error.Message(), "Unable to write to /some/file.kvr\rThe value of \"Key\" in section "
                               "\"S\" contains a line break");
  }
}

TEST(IniFileTest, UpdateFileReplacesTheWholeContentAndKeepsPermissions) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  WriteFile(FileName, "[Old]\nStale=1\n");
  std::filesystem::permissions(FileName, std::filesystem::perms(0640));

  TIniFile Ini(FileName);
  Ini.WriteString("New", "Key", "value");
  Ini.UpdateFile();
  EXPECT_EQ(ReadFile(FileName), "[New]\r\nKey=value\r\n");
  EXPECT_EQ(std::filesystem::status(FileName).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(TIniFile::Load(FileName).ReadString("new", "key", ""), "value");
  // Only the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 1);
}

TEST(IniFileTest, UpdateFileWritesThroughASymbolicLink) {
  TScratchDir Dir;
  WriteFile(Dir.File("target.kvr"), "old");
  std::filesystem::create_symlink("target.kvr", Dir.File("link.kvr"));
  TIniFile Ini(Dir.File("link.kvr"));
  Ini.WriteString("S", "K", "v");
  Ini.UpdateFile();
  EXPECT_TRUE(std::filesystem::is_symlink(Dir.File("link.kvr")));
  EXPECT_EQ(ReadFile(Dir.File("target.kvr")), "[S]\r\nK=v\r\n");
}

TEST(IniFileTest, FailedUpdateLeavesTheOldFileAndNoTemporaryFile) {
  TScratchDir Dir;
  TIniFile Ini(Dir.File("missing/p.kvr"));
  Ini.WriteString("S", "K", "v");
  try {
    Ini.UpdateFile();
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const Kalvoro::Exception& Error) {
    EXPECT_EQ(Error.Message(),
              "Unable to write to " + Dir.File("missing/p.kvr") + ": No such file or directory");
  }

  // A write that fails half way (the file-size limit stands in for a full
  // disk) must not touch the existing file.
  const std::string FileName = Dir.File("p.kvr");
  WriteFile(FileName, "previous content");
  TIniFile Large(FileName);
  for (int Index = 0; Index < 1000; ++Index)
    Large.WriteString("S", "Key" + std::to_string(Index), std::string(100, 'v'));
  rlimit Saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Saved), 0);
  const auto SavedHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Saved;
  Small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  bool Refused = false;
  try {
    Large.UpdateFile();
  } catch (const Kalvoro::Exception& Error) {
    Refused = Error.Message() == "Unable to write to " + FileName + ": File too large";
  }
  ::setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, SavedHandler);
  EXPECT_TRUE(Refused);
  EXPECT_EQ(ReadFile(FileName), "previous content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 1);
}

TEST(IniFileTest, LoadOfAnUnreadableFileIsEmpty) {
  TScratchDir Dir;
  EXPECT_EQ(TIniFile::Load(Dir.File("none.kvr")).Text(), "");
  EXPECT_EQ(TIniFile::Load(Dir.Path().string()).Text(), "");
  ASSERT_EQ(::mkfifo(Dir.File("pipe.kvr").c_str(), 0600), 0);
  EXPECT_EQ(TIniFile::Load(Dir.File("pipe.kvr")).Text(), "");
}
