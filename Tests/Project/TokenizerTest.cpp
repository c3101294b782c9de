#include "Tokenizer.h"

#include <gtest/gtest.h>

using Kalvoro::TTokenizer;

TEST(TokenizerTest, SplitsAtEveryDelimiterAndThenGivesEmptyTokens) {
  TTokenizer Tokenizer("a|b|c", '|');
  EXPECT_EQ(Tokenizer.Position(), 1);
  EXPECT_EQ(Tokenizer.NextToken(), "a");
  EXPECT_EQ(Tokenizer.Position(), 3);
  EXPECT_EQ(Tokenizer.NextToken(), "b");
  EXPECT_EQ(Tokenizer.NextToken(), "c");
  EXPECT_EQ(Tokenizer.Position(), 6);
  EXPECT_EQ(Tokenizer.NextToken(), "");
  EXPECT_EQ(Tokenizer.NextToken(), "");
  EXPECT_EQ(Tokenizer.Position(), 6);
}

TEST(TokenizerTest, KeepsEmptyTokensAndBlanks) {
  TTokenizer Tokenizer("a|| b |", '|');
  EXPECT_EQ(Tokenizer.NextToken(), "a");
  EXPECT_EQ(Tokenizer.NextToken(), "");
  EXPECT_EQ(Tokenizer.NextToken(), " b ");
  // A trailing delimiter ends the text: the end and an empty token look alike.
  EXPECT_EQ(Tokenizer.NextToken(), "");
  EXPECT_EQ(Tokenizer.NextToken(), "");
}

TEST(TokenizerTest, TextWithoutDelimiterIsOneToken) {
  TTokenizer Tokenizer("TMathTest", '|');
  EXPECT_EQ(Tokenizer.Delimiter(), '|');
  EXPECT_EQ(Tokenizer.NextToken(), "TMathTest");
  EXPECT_EQ(Tokenizer.NextToken(), "");

  TTokenizer Empty("", ',');
  EXPECT_EQ(Empty.NextToken(), "");
  EXPECT_EQ(Empty.Position(), 1);
}
