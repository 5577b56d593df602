#include "location/Exceptions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

std::string SystemErrorText(int code) {
  char buffer[256];
  // The GNU strerror_r returns a pointer that may or may not be the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::string message = text ? text : "";
  // glibc's text for an unknown code is "Unknown error N": that is no text.
  if (message.rfind("Unknown error", 0) == 0) message.clear();
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

CWin32Exception::CWin32Exception() : CWin32Exception(static_cast<uint32_t>(errno)) {}

CWin32Exception::CWin32Exception(uint32_t code)
    : m_code(code), m_message(SystemErrorText(static_cast<int>(code))) {}

CWin32Exception::CWin32Exception(uint32_t code, std::string message)
    : m_code(code), m_message(std::move(message)) {}

namespace {

// The texts of the component error codes this program can raise; others get
// the generic form that names the code.
std::string ComErrorText(int32_t hresult) {
  switch (static_cast<uint32_t>(hresult)) {
    case 0x80004001u: return "Not implemented";
    case 0x80004002u: return "No such interface supported";
    case 0x80004004u: return "Operation aborted";
    case 0x80004005u: return "Unspecified error";
    case 0x8007000Eu: return "Not enough memory resources are available to complete this operation.";
    case 0x80070057u: return "The parameter is incorrect.";
    case 0x80040154u: return "Class not registered";
    case 0x800401D0u: return "OpenClipboard Failed";
    case 0x800C0005u: return "The system cannot locate the resource specified.";
    default: break;
  }
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "Unknown error 0x%08X", static_cast<unsigned>(hresult));
  return buffer;
}

}  // namespace

CComException::CComException(int32_t hresult)
    : m_hresult(hresult), m_message(ComErrorText(hresult)) {}
