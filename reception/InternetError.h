// The transfer error codes 12001-12057 and their names, in which transfer
// failures are reported whatever the transport underneath.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "location/Exceptions.h"

enum : uint32_t {
  kErrorInternetOutOfHandles = 12001,
  kErrorInternetTimeout = 12002,
  kErrorInternetInternalError = 12004,
  kErrorInternetInvalidUrl = 12005,
  kErrorInternetUnrecognizedScheme = 12006,
  kErrorInternetNameNotResolved = 12007,
  kErrorInternetOperationCancelled = 12017,
  kErrorInternetCannotConnect = 12029,
  kErrorInternetConnectionAborted = 12030,
  kErrorInternetConnectionReset = 12031,
  kErrorInternetInvalidCa = 12045,
  kErrorInternetSecCertErrors = 12055,
};

// The constant's name for a code from 12001 to 12057; nothing for 12035,
// 12051 and every other code.
std::optional<std::string_view> ErrorInternetName(uint32_t code);

// The exception for a failed transfer: the code with its name as the message
// ("Internet error " + code where it has none).
CWin32Exception MakeInternetException(uint32_t code);
