#include <gtest/gtest.h>

#include "reception/InternetError.h"

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
