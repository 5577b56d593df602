// The program's own exception classes. Every failure travels as an exception
// derived from std::exception; the top-level guards show what().
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// A failed operating-system call: the error code (errno, or one of the
// transfer error codes 12001-12057) and its text.
class CWin32Exception : public std::exception {
 public:
  // From the calling thread's errno, with the system's text for it.
  CWin32Exception();
  // From a code, with the system's text for it.
  explicit CWin32Exception(uint32_t code);
  // From a code and a given text (no system lookup), e.g. a transfer error name.
  CWin32Exception(uint32_t code, std::string message);

  uint32_t GetCode() const noexcept { return m_code; }
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  uint32_t m_code;
  std::string m_message;
};

// A failed component call, identified by its HRESULT-style code.
class CComException : public std::exception {
 public:
  explicit CComException(int32_t hresult);

  int32_t Error() const noexcept { return m_hresult; }
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  int32_t m_hresult;
  std::string m_message;
};

// Thrown by the character-level parsers at the offending character; it never
// leaves the parser, which turns it into a std::runtime_error with a text built
// from the position (the text's length when the text ended too early).
struct PARSEERROR : std::exception {
  explicit PARSEERROR(std::size_t position) noexcept : position(position) {}
  std::size_t position;
};

// The system's text for an errno value, without a trailing line break; empty
// when the system has none.
std::string SystemErrorText(int code);
