#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reception/MessageResponse.h"

using Words = std::vector<std::string_view>;

TEST(MessageResponse, StatusLineWords) {
  EXPECT_EQ(SplitResponseWords("+OK 12\nmore words\n"), (Words{"+OK", "12"}));
  EXPECT_EQ(SplitResponseWords("  -ERR   401 C7  "), (Words{"-ERR", "401", "C7"}));
  EXPECT_EQ(SplitResponseWords("+OK\tx y"), (Words{"+OK\tx", "y"}));  // tabs are no separators
  EXPECT_EQ(SplitResponseWords("+OK\r\n"), (Words{"+OK\r"}));
  EXPECT_EQ(SplitResponseWords(std::string_view("+OK a\0b", 7)), (Words{"+OK", std::string_view("a\0b", 3)}));
  EXPECT_EQ(SplitResponseWords("-ERR 401 C7 more words"), (Words{"-ERR", "401", "C7"}));
  EXPECT_TRUE(SplitResponseWords("").empty());
  EXPECT_TRUE(SplitResponseWords("\n+OK 1\n").empty());
  EXPECT_TRUE(SplitResponseWords("   ").empty());
}

TEST(MessageResponse, NumbersReadLikeAtoiAndSaturate) {
  EXPECT_EQ(ReadDecimalInt("401"), 401);
  EXPECT_EQ(ReadDecimalInt("401abc"), 401);
  EXPECT_EQ(ReadDecimalInt("\t+7"), 7);
  EXPECT_EQ(ReadDecimalInt("-3"), -3);
  EXPECT_EQ(ReadDecimalInt("abc"), 0);
  EXPECT_EQ(ReadDecimalInt(""), 0);
  EXPECT_EQ(ReadDecimalInt("-"), 0);
  EXPECT_EQ(ReadDecimalInt("1.9"), 1);
  EXPECT_EQ(ReadDecimalInt("2147483647"), 2147483647);
  EXPECT_EQ(ReadDecimalInt("2147483648"), 2147483647);
  EXPECT_EQ(ReadDecimalInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ReadDecimalInt("-99999999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(ReadDecimalInt("99999999999999999999999"), 2147483647);
}

TEST(MessageResponse, RetrieveBodies) {
  using Messages = std::vector<std::string>;
  EXPECT_EQ(ParseRetrieveBody("+OK\nA\nB\n.\n", 2), (Messages{"A", "B"}));
  EXPECT_EQ(ParseRetrieveBody("+OK 2\n\nB\n.\n", 2), (Messages{"", "B"}));
  EXPECT_EQ(ParseRetrieveBody("+OK\n.\n", 0), Messages{});
  EXPECT_EQ(ParseRetrieveBody("+OK\nA\r\n.\n", 1), Messages{"A\r"});
  EXPECT_EQ(ParseRetrieveBody("+OK\nA\nB\n.", 2), (Messages{"A", "B"}));  // final line feed may be cut
  EXPECT_EQ(ParseRetrieveBody("+OK\n.\n.\n", 1), Messages{"."});
  EXPECT_EQ(ParseRetrieveBody("+OK\n.\n", -5), Messages{});
  for (const char* bad : {"+OK\nA\n.\n",  // one message short
                          "+OK\nA\nB\n",  // no terminator
                          "+OK\nA\nB\n.\nC\n", "+OK\nA\nB\n..\n", "+OK\nA\nB\n\n", "+OK\n",
                          "+OK", "", "+OK\nA\nB"}) {
    EXPECT_FALSE(ParseRetrieveBody(bad, 2)) << bad;
  }
  // A count far beyond the body fails without reserving room for it.
  EXPECT_FALSE(ParseRetrieveBody("+OK\nA\n.\n", 2147483647));
}
