// Replays the fuzz corpus through LoadProject with the fuzz target's checks.
#include "ProjectLoadOracle.h"
#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

using namespace KalvoroTest;

TEST(CorpusReplayTest, EveryCorpusFileLoadsOrFailsWithALoadMessage) {
  const std::filesystem::path Corpus =
      std::filesystem::path(KALVORO_SOURCE_DIR) / "Fuzz" / "corpus" / "ProjectFuzz";
  TScratchDir Dir;
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(Corpus)) {
    if (!Entry.is_regular_file())
      continue;
    ++Files;
    EXPECT_EQ(KalvoroFuzz::CheckProjectFile(Entry.path().string(), Dir.File("saved.kvr")), "")
        << Entry.path();
  }
  EXPECT_GE(Files, 10) << "corpus not found at " << Corpus;
}

TEST(CorpusReplayTest, OracleRejectsWhatALoadMustNeverEndIn) {
  EXPECT_TRUE(KalvoroFuzz::IsLoadMessage("Invalid file\rFileInfo section is corrupt"));
  EXPECT_TRUE(KalvoroFuzz::IsLoadMessage("Failed to open project\rSection \"/m\" is corrupt"));
  EXPECT_FALSE(KalvoroFuzz::IsLoadMessage("Invalid file\rFileInfo section is"));
  EXPECT_FALSE(KalvoroFuzz::IsLoadMessage("std::bad_alloc"));
  EXPECT_FALSE(
      KalvoroFuzz::IsLoadMessage("Assertion failure (Sources/Project/Project.cpp, line 1)"));
}
