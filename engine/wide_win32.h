// Windows names: the program holds them as WTF-8 and hands them to the wide functions.
#pragma once

#include <string>

namespace korvale::engine {

std::wstring wideFromPath(const std::string& path);
std::string pathFromWide(const wchar_t* wide);

// The form of `path` that the wide file functions take at any length: beyond MAX_PATH only
// the \\?\ form reaches a file, and it must be a full path.
std::wstring systemPath(const std::string& path);

}  // namespace korvale::engine
