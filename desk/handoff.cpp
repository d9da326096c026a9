#include "handoff.h"

#include <algorithm>

namespace korvale::desk {
namespace {

void putU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t getU32(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool fitsAPath(std::u16string_view path) {
  return !path.empty() && path.size() <= kMaxPathUnits &&
         path.find(char16_t{0}) == std::u16string_view::npos;
}

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool sameSwitch(std::u16string_view argument, std::u16string_view name) {
  return argument.size() == name.size() &&
         std::equal(argument.begin(), argument.end(), name.begin(),
                    [](char16_t a, char16_t b) { return lower(a) == b; });
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeHandoff(const Request& request) {
  std::size_t size = kHandoffHeaderBytes;
  for (const std::u16string& path : request.paths) {
    if (!fitsAPath(path)) return std::nullopt;
    size += 4 + 2 * path.size();
    if (size > kMaxHandoffBytes) return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  putU32(bytes, kHandoffMagic);
  putU32(bytes, kHandoffVersion);
  putU32(bytes, static_cast<uint32_t>(request.mode));
  putU32(bytes, static_cast<uint32_t>(request.paths.size()));
  for (const std::u16string& path : request.paths) {
    putU32(bytes, static_cast<uint32_t>(path.size()));
    for (const char16_t unit : path) {
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
  }
  return bytes;
}

std::optional<Request> decodeHandoff(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHandoffHeaderBytes || bytes.size() > kMaxHandoffBytes ||
      bytes.size() % 2 != 0 || getU32(bytes, 0) != kHandoffMagic ||
      getU32(bytes, 4) != kHandoffVersion) {
    return std::nullopt;
  }
  Request request;
  switch (const uint32_t mode = getU32(bytes, 8)) {
    case static_cast<uint32_t>(Mode::kCheck):
    case static_cast<uint32_t>(Mode::kStamp):
      request.mode = static_cast<Mode>(mode);
      break;
    default:
      return std::nullopt;
  }
  const uint32_t count = getU32(bytes, 12);
  // Each path takes 6 bytes at least: no count can make the list below allocate beyond that.
  if (count > (bytes.size() - kHandoffHeaderBytes) / 6) return std::nullopt;
  request.paths.reserve(count);
  std::size_t at = kHandoffHeaderBytes;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < 4) return std::nullopt;
    const uint32_t length = getU32(bytes, at);
    at += 4;
    if (length == 0 || length > kMaxPathUnits || (bytes.size() - at) / 2 < length) {
      return std::nullopt;
    }
    std::u16string path(length, u'\0');
    for (char16_t& unit : path) {
      unit = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
      at += 2;
      if (unit == 0) return std::nullopt;
    }
    request.paths.push_back(std::move(path));
  }
  if (at != bytes.size()) return std::nullopt;
  return request;
}

CommandLine parseCommandLine(const std::vector<std::u16string>& arguments) {
  CommandLine line;
  bool switches = true;
  for (const std::u16string& argument : arguments) {
    if (argument.empty()) continue;
    if (switches && argument == u"--") {
      switches = false;
    } else if (switches && argument.front() == u'/') {
      if (sameSwitch(argument, u"/stamp")) {
        line.request.mode = Mode::kStamp;
      } else if (sameSwitch(argument, u"/?") || sameSwitch(argument, u"/help")) {
        line.outcome = CommandLine::Outcome::kUsage;
        return line;
      } else {
        line.outcome = CommandLine::Outcome::kUnknownSwitch;
        line.unknown = argument;
        return line;
      }
    } else {
      line.request.paths.push_back(argument);
    }
  }
  if (line.request.mode == Mode::kStamp && line.request.paths.empty()) {
    line.outcome = CommandLine::Outcome::kStampWithoutPaths;
  }
  return line;
}

}  // namespace korvale::desk
