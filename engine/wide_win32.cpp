#include "wide_win32.h"

#include <windows.h>

#include "text.h"

namespace korvale::engine {

std::wstring wideFromPath(const std::string& path) {
  const std::u16string text = utf16FromWtf8(path);
  return {text.begin(), text.end()};
}

std::string pathFromWide(const wchar_t* wide) {
  const std::wstring_view text(wide);
  return wtf8FromUtf16(std::u16string(text.begin(), text.end()));
}

std::wstring systemPath(const std::string& path) {
  std::wstring wide = wideFromPath(path);
  // A folder's name must leave room for an 8.3 name within MAX_PATH; keep files alike.
  if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
  std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  full.resize(
      GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  if (full.empty()) return wide;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace korvale::engine
