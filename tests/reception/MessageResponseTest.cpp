#include <gtest/gtest.h>

#include <curl/curl.h>

#include <string>
#include <vector>

#include "reception/CurlHttpGetter.h"
#include "reception/InternetError.h"
#include "reception/MessageEncoding.h"
#include "reception/MessageResponse.h"

using Words = std::vector<std::string_view>;

TEST(MessageResponse, StatusLineWords) {
  EXPECT_EQ(SplitResponseWords("+OK 12\nmore words\n"), (Words{"+OK", "12"}));
  EXPECT_EQ(SplitResponseWords("  -ERR   401 C7  "), (Words{"-ERR", "401", "C7"}));
  EXPECT_EQ(SplitResponseWords("+OK\tx y"), (Words{"+OK\tx", "y"}));  // tabs are no separators
  EXPECT_EQ(SplitResponseWords("+OK\r\n"), (Words{"+OK\r"}));
  EXPECT_EQ(SplitResponseWords(std::string_view("+OK a\0b", 7)), (Words{"+OK", std::string_view("a\0b", 3)}));
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

TEST(MessageEncoding, UrlEncodeKeepsOnlyLettersDigitsAndUnderscore) {
  EXPECT_EQ(UrlEncode("RETR 1 5"), "RETR+1+5");
  EXPECT_EQ(UrlEncode("aZ09_"), "aZ09_");
  EXPECT_EQ(UrlEncode("+%&=.-~/?"), "%2B%25%26%3D%2E%2D%7E%2F%3F");
  EXPECT_EQ(UrlEncode("\xe3\x80\x80"), "%E3%80%80");
  EXPECT_EQ(UrlEncode(std::string_view("\0\n", 2)), "%00%0A");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(MessageEncoding, Md5HexIsLowerCaseHex) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(Md5Hex(std::string_view("\0", 1)), "93b885adfe0da089cdf634904fd59f71");
}

TEST(InternetError, NamesOfTheTransferCodes) {
  EXPECT_EQ(ErrorInternetName(12001), "ERROR_INTERNET_OUT_OF_HANDLES");
  EXPECT_EQ(ErrorInternetName(12002), "ERROR_INTERNET_TIMEOUT");
  EXPECT_EQ(ErrorInternetName(12007), "ERROR_INTERNET_NAME_NOT_RESOLVED");
  EXPECT_EQ(ErrorInternetName(12029), "ERROR_INTERNET_CANNOT_CONNECT");
  EXPECT_EQ(ErrorInternetName(12031), "ERROR_INTERNET_CONNECTION_RESET");
  EXPECT_EQ(ErrorInternetName(12034), "ERROR_INTERNET_NEED_UI");
  EXPECT_EQ(ErrorInternetName(12036), "ERROR_INTERNET_HANDLE_EXISTS");
  EXPECT_EQ(ErrorInternetName(12050), "ERROR_INTERNET_RETRY_DIALOG");
  EXPECT_EQ(ErrorInternetName(12052), "ERROR_INTERNET_HTTPS_HTTP_SUBMIT_REDIR");
  EXPECT_EQ(ErrorInternetName(12057), "ERROR_INTERNET_SEC_CERT_REV_FAILED");
  for (uint32_t none : {0u, 12000u, 12035u, 12051u, 12058u, 12152u}) {
    EXPECT_FALSE(ErrorInternetName(none)) << none;
  }
  const CWin32Exception named = MakeInternetException(12007);
  EXPECT_EQ(named.GetCode(), 12007u);
  EXPECT_STREQ(named.what(), "ERROR_INTERNET_NAME_NOT_RESOLVED");
  EXPECT_STREQ(MakeInternetException(12035).what(), "Internet error 12035");
}

TEST(InternetError, CurlResultsMapOntoTransferCodes) {
  EXPECT_EQ(InternetErrorFromCurl(CURLE_COULDNT_RESOLVE_HOST), 12007u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_COULDNT_RESOLVE_PROXY), 12007u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_OPERATION_TIMEDOUT), 12002u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_COULDNT_CONNECT), 12029u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_RECV_ERROR), 12031u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_GOT_NOTHING), 12030u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_URL_MALFORMAT), 12005u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_UNSUPPORTED_PROTOCOL), 12006u);
  EXPECT_EQ(InternetErrorFromCurl(CURLE_TOO_MANY_REDIRECTS), 12004u);
}
