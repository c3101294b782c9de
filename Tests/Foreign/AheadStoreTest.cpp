// Outcomes that wait for the run: past the memory bound they go to the
// store, and each comes back whole, in any order, however long its texts.
#include "AheadStore.h"
#include "GoogleTestOutcome.h"
#include "XmlTestReport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Kalvoro::TAheadKeeper;
using Kalvoro::TAheadStore;
using Kalvoro::TGoogleTestOutcome;
using Kalvoro::TOutcomeItem;
using Kalvoro::TTestOutcome;

TEST(AheadStore, OutcomesPastTheBoundComeBackWhole) {
  // Enough outcomes of 64 KiB to pass the bound twice over, the last ones
  // still in memory.
  const std::size_t Count = 2 * TAheadStore::MemoryBound / 65536 + 3;
  std::vector<TTestOutcome> Xml(Count);
  std::vector<TGoogleTestOutcome> Google(Count);
  TAheadKeeper<TTestOutcome> XmlKeeper;
  TAheadKeeper<TGoogleTestOutcome> GoogleKeeper;
  for (std::size_t I = 0; I < Count; ++I) {
    const std::string Text(65536, static_cast<char>('a' + I % 26));
    Xml[I].Items = {{TOutcomeItem::Failure, Text, "file.cpp", static_cast<unsigned>(I)},
                    {TOutcomeItem::Report, "", "", 0}};
    Xml[I].Death = I % 2 != 0 ? "Test process ended by SIGSEGV" : "";
    Google[I].Parts = {{"gt.cpp", std::to_string(I), Text, I % 3 == 0}};
    Google[I].Lines = {"printed", ""};
    Google[I].Death = Xml[I].Death;
    XmlKeeper.Keep(Xml[I]);
    GoogleKeeper.Keep(Google[I]);
  }
  EXPECT_TRUE(Xml.front().Stored && Xml.front().Items.empty());
  EXPECT_FALSE(Xml.back().Stored);
  // Taken back to front and then front to back: each as it was kept.
  for (std::size_t Step = 0; Step < Count; ++Step) {
    const std::size_t I = Step % 2 == 0 ? Count - 1 - Step / 2 : Step / 2;
    SCOPED_TRACE(I);
    const std::string Text(65536, static_cast<char>('a' + I % 26));
    TTestOutcome XmlCopy;
    const TTestOutcome& XmlBack = XmlKeeper.Take(Xml[I], XmlCopy);
    ASSERT_EQ(XmlBack.Items.size(), 2u);
    EXPECT_EQ(XmlBack.Items[0].Text, Text);
    EXPECT_EQ(XmlBack.Items[0].Line, I);
    EXPECT_EQ(XmlBack.Items[1].Type, TOutcomeItem::Report);
    EXPECT_EQ(XmlBack.Death, I % 2 != 0 ? "Test process ended by SIGSEGV" : "");
    TGoogleTestOutcome GoogleCopy;
    const TGoogleTestOutcome& GoogleBack = GoogleKeeper.Take(Google[I], GoogleCopy);
    ASSERT_EQ(GoogleBack.Parts.size(), 1u);
    EXPECT_EQ(GoogleBack.Parts[0].Message, Text);
    EXPECT_EQ(GoogleBack.Parts[0].Line, std::to_string(I));
    EXPECT_EQ(GoogleBack.Parts[0].Outside, I % 3 == 0);
    EXPECT_EQ(GoogleBack.Lines, (std::vector<std::string>{"printed", ""}));
  }
}

} // namespace
