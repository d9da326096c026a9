// Windows: a standard handle that names nothing (a value the caller closed, or never had) is
// replaced by the NUL device opened the other way round (for reading in place of an output),
// so that the stale value, which the next CreateFile may hand out again for a data file, is
// never written to, and a write to the output still fails as it did.
#include <windows.h>

#include <initializer_list>

#include "standard_streams.h"

namespace korvale {
namespace {

// Null and INVALID_HANDLE_VALUE name nothing, but no file can ever get either value: every use
// of them just fails. Any other value must still name what the caller meant.
bool isStale(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  SetLastError(NO_ERROR);
  return GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR;
}

}  // namespace

void secureStandardStreams() noexcept {
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (!isStale(GetStdHandle(which))) continue;
    const HANDLE placeholder =
        CreateFileW(L"NUL", which == STD_INPUT_HANDLE ? GENERIC_WRITE : GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (placeholder == INVALID_HANDLE_VALUE || !SetStdHandle(which, placeholder)) ExitProcess(1);
  }
}

}  // namespace korvale
