// What a second KorvaleDesk.exe hands to the window already open: the message's bytes both
// ways, every malformed message refused, and the command line's switches and paths.
#include "handoff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace korvale::desk {
namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void putUnits(Bytes& out, std::u16string_view units) {
  for (const char16_t unit : units) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
}

// A message built by hand, field by field, so that each can be wrong on its own.
Bytes message(uint32_t magic, uint32_t version, uint32_t mode, uint32_t count,
              const std::vector<std::pair<uint32_t, std::u16string>>& paths) {
  Bytes out;
  putU32(out, magic);
  putU32(out, version);
  putU32(out, mode);
  putU32(out, count);
  for (const auto& [length, units] : paths) {
    putU32(out, length);
    putUnits(out, units);
  }
  return out;
}

Bytes valid(uint32_t mode, const std::vector<std::u16string>& paths) {
  std::vector<std::pair<uint32_t, std::u16string>> entries;
  for (const std::u16string& path : paths) {
    entries.emplace_back(static_cast<uint32_t>(path.size()), path);
  }
  return message(kHandoffMagic, kHandoffVersion, mode, static_cast<uint32_t>(paths.size()),
                 entries);
}

TEST(DeskHandoff, BytesOfASmallMessage) {
  const Request request{Mode::kStamp, {u"C:\\a.xml"}};
  const Bytes expected = {
      'H', 'N', 'D', 'O', 1,    0, 0,   0,
      1,   0,   0,   0,   1,    0, 0,   0,  // magic, version, stamp, 1 path
      8,   0,   0,   0,                     // 8 code units
      'C', 0,   ':', 0,   '\\', 0, 'a', 0,
      '.', 0,   'x', 0,   'm',  0, 'l', 0,
  };
  EXPECT_EQ(encodeHandoff(request), expected);
  EXPECT_EQ(decodeHandoff(expected), request);
}

TEST(DeskHandoff, RequestsComeBackAsTheyWent) {
  const std::u16string longest(kMaxPathUnits, u'x');
  const Request table[] = {
      {Mode::kCheck, {}},
      {Mode::kStamp, {}},
      {Mode::kCheck, {u"C:\\catalogue"}},
      {Mode::kStamp, {u"C:\\a.xml", u"D:\\b.xml", u"\\\\server\\share\\c.xml"}},
      {Mode::kCheck, {u"C:\\\u0416\u65E5.xml", u"C:\\\U0001F600.xml"}},  // outside any code page
      {Mode::kCheck, {std::u16string(u"C:\\") + char16_t{0xD800} + u".xml"}},  // a lone surrogate
      {Mode::kCheck, {u"\\\\?\\C:\\" + std::u16string(300, u'd') + u"\\e.xml"}},
      {Mode::kStamp, {longest, u"C:\\after-the-longest.xml"}},
      {Mode::kCheck, std::vector<std::u16string>(500, u"C:\\same.xml")},
  };
  for (const Request& request : table) {
    const auto bytes = encodeHandoff(request);
    ASSERT_TRUE(bytes) << request.paths.size();
    EXPECT_EQ(decodeHandoff(*bytes), request) << request.paths.size();
  }
}

TEST(DeskHandoff, PathsThatNoMessageCarries) {
  const std::u16string table[] = {
      u"",
      std::u16string(u"C:\\a") + char16_t{0} + u"b.xml",
      std::u16string(kMaxPathUnits + 1, u'x'),
  };
  for (const std::u16string& path : table) {
    EXPECT_FALSE(encodeHandoff({Mode::kCheck, {u"C:\\fine.xml", path}})) << path.size();
  }
  // Many paths that pass the limit of the whole only together.
  EXPECT_FALSE(encodeHandoff(
      {Mode::kCheck, std::vector<std::u16string>(1100, std::u16string(kMaxPathUnits, u'x'))}));
}

TEST(DeskHandoff, MalformedMessagesAreRefused) {
  const std::u16string a = u"C:\\a.xml";
  const auto length = static_cast<uint32_t>(a.size());
  Bytes oddSize = valid(0, {a});
  oddSize.push_back(0);
  Bytes trailing = valid(0, {a});
  putU32(trailing, 0);
  Bytes cutInAPath = valid(0, {a});
  cutInAPath.resize(cutInAPath.size() - 2);
  Bytes header = valid(0, {});
  header.pop_back();
  Bytes cutInALength = valid(0, {});
  cutInALength[12] = 1;  // one path, of which only two bytes of the length follow
  cutInALength.push_back(8);
  cutInALength.push_back(0);
  const struct {
    const char* what;
    Bytes bytes;
  } table[] = {
      {"nothing", {}},
      {"shorter than the header", header},
      {"wrong magic", message(0x4F444E49, kHandoffVersion, 0, 1, {{length, a}})},
      {"magic in the other byte order", message(0x484E444F, kHandoffVersion, 0, 1, {{length, a}})},
      {"another version", message(kHandoffMagic, 2, 0, 1, {{length, a}})},
      {"version 0", message(kHandoffMagic, 0, 0, 1, {{length, a}})},
      {"an unknown mode", message(kHandoffMagic, kHandoffVersion, 2, 1, {{length, a}})},
      {"a mode with high bits", message(kHandoffMagic, kHandoffVersion, 0x100, 1, {{length, a}})},
      {"an odd byte count", oddSize},
      {"more paths counted than held",
       message(kHandoffMagic, kHandoffVersion, 0, 2, {{length, a}})},
      {"fewer paths counted than held",
       message(kHandoffMagic, kHandoffVersion, 0, 1, {{length, a}, {length, a}})},
      {"a count of 2^32 - 1",
       message(kHandoffMagic, kHandoffVersion, 0, 0xFFFFFFFF, {{length, a}})},
      {"bytes after the last path", trailing},
      {"a path cut short", cutInAPath},
      {"a length cut short", cutInALength},
      {"a length beyond the bytes", message(kHandoffMagic, kHandoffVersion, 0, 1, {{9, a}})},
      {"a length of 2^32 - 1", message(kHandoffMagic, kHandoffVersion, 0, 1, {{0xFFFFFFFF, a}})},
      {"a length shorter than the path",
       message(kHandoffMagic, kHandoffVersion, 0, 1, {{length - 1, a}})},
      {"an empty path", message(kHandoffMagic, kHandoffVersion, 0, 1, {{0, u""}})},
      {"an embedded NUL",
       message(kHandoffMagic, kHandoffVersion, 0, 1, {{3, std::u16string(u"C:") + char16_t{0}}})},
      {"a NUL-terminated path",
       message(kHandoffMagic, kHandoffVersion, 0, 1, {{length + 1, a + char16_t{0}}})},
      {"a path longer than Windows opens",
       message(kHandoffMagic, kHandoffVersion, 0, 1,
               {{kMaxPathUnits + 1, std::u16string(kMaxPathUnits + 1, u'x')}})},
  };
  for (const auto& [what, bytes] : table) EXPECT_FALSE(decodeHandoff(bytes)) << what;
}

TEST(DeskHandoff, EveryCutOfAMessageIsRefused) {
  const Bytes bytes = valid(1, {u"C:\\a.xml", u"C:\\folder"});
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(decodeHandoff(std::span(bytes).first(size))) << size;
  }
  EXPECT_TRUE(decodeHandoff(bytes));
}

// Whatever the bytes, the decoder answers: a request whose paths obey the rules, or none.
TEST(DeskHandoff, RandomDamageIsAnsweredSafely) {
  std::mt19937 random(66413);
  const Bytes good = valid(0, {u"C:\\a.xml", u"C:\\b\\c.xml", u"D:\\"});
  for (int round = 0; round < 20000; ++round) {
    Bytes bytes = good;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      switch (random() % 3) {
        case 0:
          bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
          break;
        case 1:
          bytes.resize(random() % (bytes.size() + 1));
          break;
        default:
          bytes.push_back(static_cast<uint8_t>(random()));
          break;
      }
      if (bytes.empty()) bytes.push_back(0);
    }
    if (const auto request = decodeHandoff(bytes)) {
      for (const std::u16string& path : request->paths) {
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(path.find(char16_t{0}), std::u16string::npos);
      }
      EXPECT_EQ(encodeHandoff(*request), bytes);  // only exact messages pass
    }
  }
}

TEST(DeskCommandLine, SwitchesAndPaths) {
  using Outcome = CommandLine::Outcome;
  const struct {
    std::vector<std::u16string> arguments;
    Outcome outcome;
    Mode mode;
    std::vector<std::u16string> paths;
    std::u16string unknown;
  } table[] = {
      {{}, Outcome::kRun, Mode::kCheck, {}, u""},
      {{u"C:\\a.xml", u"b.xml"}, Outcome::kRun, Mode::kCheck, {u"C:\\a.xml", u"b.xml"}, u""},
      {{u"/stamp", u"a.xml"}, Outcome::kRun, Mode::kStamp, {u"a.xml"}, u""},
      {{u"/STAMP", u"a.xml"}, Outcome::kRun, Mode::kStamp, {u"a.xml"}, u""},
      {{u"a.xml", u"/Stamp", u"b"}, Outcome::kRun, Mode::kStamp, {u"a.xml", u"b"}, u""},
      {{u"/stamp", u"/stamp", u"a"}, Outcome::kRun, Mode::kStamp, {u"a"}, u""},
      {{u"/stamp"}, Outcome::kStampWithoutPaths, Mode::kStamp, {}, u""},
      {{u"/stamp", u"", u"--"}, Outcome::kStampWithoutPaths, Mode::kStamp, {}, u""},
      {{u"/?"}, Outcome::kUsage, Mode::kCheck, {}, u""},
      {{u"a.xml", u"/HELP"}, Outcome::kUsage, Mode::kCheck, {u"a.xml"}, u""},
      {{u"/check", u"a.xml"}, Outcome::kUnknownSwitch, Mode::kCheck, {}, u"/check"},
      {{u"/stamp", u"/s", u"a"}, Outcome::kUnknownSwitch, Mode::kStamp, {}, u"/s"},
      {{u"/stamped"}, Outcome::kUnknownSwitch, Mode::kCheck, {}, u"/stamped"},
      {{u"/"}, Outcome::kUnknownSwitch, Mode::kCheck, {}, u"/"},
      // After "--", and written with a folder in front, a name like a switch is a path.
      {{u"--", u"/stamp", u"--", u"/x"},
       Outcome::kRun,
       Mode::kCheck,
       {u"/stamp", u"--", u"/x"},
       u""},
      {{u"/stamp", u"--", u"/stamp"}, Outcome::kRun, Mode::kStamp, {u"/stamp"}, u""},
      {{u".\\/stamp"}, Outcome::kRun, Mode::kCheck, {u".\\/stamp"}, u""},
      {{u"-stamp", u"\\stamp"}, Outcome::kRun, Mode::kCheck, {u"-stamp", u"\\stamp"}, u""},
      // An empty pair of quotes is no path.
      {{u"", u"a.xml", u""}, Outcome::kRun, Mode::kCheck, {u"a.xml"}, u""},
  };
  for (const auto& c : table) {
    const CommandLine line = parseCommandLine(c.arguments);
    const std::string where = std::to_string(&c - table);
    EXPECT_EQ(line.outcome, c.outcome) << where;
    EXPECT_EQ(line.request.mode, c.mode) << where;
    if (c.outcome != Outcome::kUnknownSwitch) {
      EXPECT_EQ(line.request.paths, c.paths) << where;
    }
    EXPECT_EQ(line.unknown, c.unknown) << where;
  }
}

}  // namespace
}  // namespace korvale::desk
