// What a KorvaleDesk.exe started while the window is already open hands to that window: the
// mode it was started in and its paths, as the bytes of one WM_COPYDATA message; and the
// command line read into the same. Portable, so that the tests run it everywhere. The window
// takes such messages from any program of the session, so the decoder refuses anything that is
// not exactly this format.
//
// The bytes, every number little-endian:
//   u32 kHandoffMagic, u32 kHandoffVersion, u32 mode (0 check, 1 stamp), u32 count,
//   then `count` paths, each a u32 length in UTF-16 code units (1 to kMaxPathUnits) and that
//   many code units, none of them 0; nothing after the last path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvale::desk {

enum class Mode : uint32_t { kCheck = 0, kStamp = 1 };

// What one start of the program asks for: its paths (full, UTF-16 as Windows names them) and
// what to do with the files found.
struct Request {
  Mode mode = Mode::kCheck;
  std::vector<std::u16string> paths;

  friend bool operator==(const Request&, const Request&) = default;
};

inline constexpr uint32_t kHandoffTag = 0x4B44534B;    // COPYDATASTRUCT::dwData: "KSDK"
inline constexpr uint32_t kHandoffMagic = 0x4F444E48;  // "HNDO"
inline constexpr uint32_t kHandoffVersion = 1;
inline constexpr std::size_t kHandoffHeaderBytes = 16;
inline constexpr std::size_t kMaxPathUnits = 32767;         // the longest path Windows opens
inline constexpr std::size_t kMaxHandoffBytes = 64u << 20;  // far beyond any command line

// The message's bytes; none when a path is empty, too long or holds a NUL, or the whole would
// pass kMaxHandoffBytes (the sender then opens a window of its own, which reports such paths).
std::optional<std::vector<uint8_t>> encodeHandoff(const Request& request);

// The request in `bytes`; none unless they are exactly the format above.
std::optional<Request> decodeHandoff(std::span<const uint8_t> bytes);

// The command line, read. Arguments that begin with '/' are switches until one that is exactly
// "--"; every argument after that, and every other argument, is a path. An empty argument is
// no path. Switches, in any case: /stamp (stamp the files found, after a question), /? and
// /help (the usage).
struct CommandLine {
  enum class Outcome {
    kRun,                // open or hand off `request`
    kUsage,              // /? or /help
    kUnknownSwitch,      // `unknown` is no switch of the program
    kStampWithoutPaths,  // /stamp, but nothing to stamp
  };
  Outcome outcome = Outcome::kRun;
  Request request;
  std::u16string unknown;
};
CommandLine parseCommandLine(const std::vector<std::u16string>& arguments);

}  // namespace korvale::desk
