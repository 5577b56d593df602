#include "location/Exceptions.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(Exceptions, Win32ExceptionCodesAndTexts) {
  EXPECT_STREQ(CWin32Exception(2).what(), "No such file or directory");  // no line break
  errno = EACCES;
  const CWin32Exception fromErrno;
  EXPECT_EQ(fromErrno.GetCode(), uint32_t{EACCES});
  EXPECT_STREQ(fromErrno.what(), "Permission denied");
  EXPECT_STREQ(CWin32Exception(99999).what(), "");
  const CWin32Exception named = CWin32Exception(12002, "ERROR_INTERNET_TIMEOUT");
  EXPECT_EQ(named.GetCode(), 12002u);
  EXPECT_STREQ(named.what(), "ERROR_INTERNET_TIMEOUT");
}

TEST(Exceptions, ComExceptionTexts) {
  const CComException e(static_cast<int32_t>(0x80040154u));
  EXPECT_STREQ(static_cast<const std::exception&>(e).what(), "Class not registered");
  EXPECT_EQ(static_cast<uint32_t>(e.Error()), 0x80040154u);
  EXPECT_STREQ(CComException(static_cast<int32_t>(0x80041234u)).what(), "Unknown error 0x80041234");
}
