#include "messages.h"

#include "checksum_field.h"

namespace korvale {

std::string_view errorText(int32_t code) noexcept {
  switch (code) {
    case kOk:
      return "OK";
    case kCrcEmpty:
      return "ERROR: [01] CRC is empty";
    case kCrcDifferent:
      return "ERROR: [02] CRC is different";
    case kNoIdentifier:
      return "ERROR: [11] Missing CRC32-Identifier within the first 252 Bytes.";
    case kFieldUnreadable:
      return "ERROR: [12] Missing CRC32-Identifier.";
    case kFieldUnwritable:
      return "ERROR: [13] Missing [\"] in CRC32.";
    case kCannotOpen:
      return "ERROE: [21] Could not open file exclusive for ReadWrite.";
    case kTooShort:
      return "ERROR: [22] File is to short.";
    default:
      return "ERROR: [99] Unknown";
  }
}

std::string_view resultWord(int32_t code) noexcept {
  switch (code) {
    case kOk:
      return "stamp OK";
    case kCrcEmpty:
      return "not stamped";
    case kCrcDifferent:
      return "stamp differs";
    case kNoIdentifier:
      return "no CRC field";
    case kFieldUnreadable:
    case kFieldUnwritable:
      return "malformed CRC field";
    case kCannotOpen:
      return "cannot open";
    case kTooShort:
      return "too short";
  }
  return "unknown";
}

}  // namespace korvale
