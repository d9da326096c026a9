// The thirteen exports: CountedString in and out, and nothing else. The logic lives in
// file_operations.cpp; the record is the library's one process-wide OperationInfo. Nothing
// here allocates, and the operations throw nothing, so no exception reaches a caller.
#include <algorithm>
#include <string_view>

#include "file_operations.h"
#include "korvalelib.h"
#include "library_state.h"
#include "version.h"

namespace korvale {
namespace {

OperationInfo record;

// A missing name is the empty one, which the operations refuse as a failed open.
std::string_view fromCounted(const CountedString* text) noexcept {
  if (!text) return {};
  return {text->text, text->length};
}

// Writes the length byte and the characters, nothing more; nothing at all without a buffer.
void toCounted(std::string_view text, CountedString* result) noexcept {
  if (!result) return;
  const std::size_t length = std::min<std::size_t>(text.size(), 255);
  result->length = static_cast<unsigned char>(length);
  std::copy_n(text.data(), length, result->text);
}

}  // namespace

void resetRecord() noexcept { record = OperationInfo{}; }

}  // namespace korvale

using namespace korvale;

extern "C" {

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoErrorString(CountedString* result) {
  toCounted(errorText(record.errorCode), result);
}

KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_getInfoErrorCode(void) { return record.errorCode; }

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoCRC32(CountedString* result) {
  toCounted(record.crcText, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoCommandFile(CountedString* result) {
  toCounted(record.commandText, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoHeader(CountedString* result) {
  toCounted(KORVALE_INFO_HEADER, result);
}

KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_resetCRC32inFile(const CountedString* fileName,
                                                                  const ProgressSink*) {
  return resetCRC32inFile(record, fromCounted(fileName));
}

KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_setCRC32inFile(const CountedString* fileName,
                                                                const ProgressSink* sink) {
  return setCRC32inFile(record, fromCounted(fileName), sink);
}

KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_checkCRC32inFile(const CountedString* fileName,
                                                                  const ProgressSink* sink) {
  return checkCRC32inFile(record, fromCounted(fileName), sink);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getFailSafeCRC32(CountedString* result) {
  toCounted(kFailSafeCRC32, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getVersion(CountedString* result) {
  toCounted(KORVALE_VERSION, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getFullName(CountedString* result) {
  toCounted(KORVALE_FULL_NAME, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_getShortName(CountedString* result) {
  toCounted(KORVALE_SHORT_NAME, result);
}

KORVALELIB_API void KORVALELIB_CALL DUDO66413_reset(void) { resetRecord(); }

}  // extern "C"
