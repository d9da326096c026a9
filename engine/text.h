// Text of paths: UTF-8 checks, and the conversions between UTF-16 and WTF-8 (UTF-8 that may also
// carry lone surrogates), through which every Windows name, well-formed or not, stays intact.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvale::engine {

// The length of the well-formed UTF-8 sequence that `text` starts with, or 0 when it starts
// with none (overlong forms, surrogates and values beyond U+10FFFF are no sequence).
std::size_t utf8SequenceLength(std::string_view text);

bool isValidUtf8(std::string_view text);

// The lone surrogate (U+D800 to U+DFFF) that WTF-8 encodes at the start of `text`, or 0.
char16_t wtf8Surrogate(std::string_view text);

std::string wtf8FromUtf16(std::u16string_view text);

// Bytes that are no sequence become U+FFFD.
std::u16string utf16FromWtf8(std::string_view text);

}  // namespace korvale::engine
