// Line, summary and progress texts, built by hand: the JSON needs no more than string escapes.
#include "output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text.h"

namespace korvale::batch {

using namespace engine;
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendHexByte(std::string& out, std::string_view prefix, unsigned char byte) {
  out += prefix;
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// The program never sets a locale, so the decimal separator is a point.
std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Decimal units, as the rates are given.
std::string amount(uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " bytes";
  const double value = static_cast<double>(bytes);
  if (bytes < 1000'000) return fixed(value / 1e3, 1) + " kB";
  if (bytes < 1000'000'000) return fixed(value / 1e6, 1) + " MB";
  return fixed(value / 1e9, 2) + " GB";
}

std::size_t codeIndex(int32_t code) {
  const auto at = std::find(Tally::kCodes.begin(), Tally::kCodes.end(), code);
  return static_cast<std::size_t>(at - Tally::kCodes.begin());
}

std::string duration(double seconds) {
  const auto whole = static_cast<uint64_t>(std::ceil(seconds));
  if (whole < 60) return std::to_string(whole) + " s";
  if (whole < 3600) return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
  return std::to_string(whole / 3600) + " h " + std::to_string(whole / 60 % 60) + " min";
}

}  // namespace

std::string_view operationName(Operation operation) {
  switch (operation) {
    case Operation::kCheck:
      return "check";
    case Operation::kSet:
      return "set";
    case Operation::kReset:
      return "reset";
  }
  return "";
}

void appendTextLine(std::string& out, std::string_view path, const Outcome& outcome,
                    PathForm form) {
  if (outcome.code >= 0 && outcome.code < 10) out += '0';
  out += std::to_string(outcome.code);
  out += '\t';
  out += outcome.crcText;
  out += '\t';
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      appendHexByte(out, "\\x", byte);
    } else if (c == '\\' && form == PathForm::kBytes) {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  out += '\t';
  out += errorText(outcome.code);
  out += '\n';
}

void appendJsonString(std::string& out, std::string_view text, PathForm form) {
  out += '"';
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text.front());
    std::size_t length = utf8SequenceLength(text);
    if (length > 1) {
      out.append(text.substr(0, length));
    } else if (length == 1) {
      switch (byte) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (byte < 0x20) {
            appendHexByte(out, "\\u00", byte);
          } else {
            out += static_cast<char>(byte);
          }
      }
    } else if (const char16_t surrogate = form == PathForm::kWtf8 ? wtf8Surrogate(text) : 0) {
      appendHexByte(out, "\\u", static_cast<unsigned char>(surrogate >> 8));
      appendHexByte(out, "", static_cast<unsigned char>(surrogate & 0xFF));
      length = 3;
    } else {
      appendHexByte(out, "\\udc", byte);
      length = 1;
    }
    text.remove_prefix(length);
  }
  out += '"';
}

void appendJsonLine(std::string& out, std::string_view path, Operation operation,
                    const Outcome& outcome, PathForm form) {
  out += "{\"path\": ";
  appendJsonString(out, path, form);
  out += ", \"operation\": \"";
  out += operationName(operation);
  out += "\", \"code\": ";
  out += std::to_string(outcome.code);
  out += ", \"crc\": ";
  appendJsonString(out, outcome.crcText, form);
  out += ", \"message\": ";
  appendJsonString(out, errorText(outcome.code), form);
  out += ", \"stored\": ";
  appendJsonString(out, outcome.stored, form);
  out += ", \"computed\": ";
  appendJsonString(out, outcome.computed, form);
  out += "}\n";
}

void Tally::count(const Outcome& outcome) {
  ++files_[codeIndex(outcome.code)];
  bytes_ += outcome.size;
}

uint64_t Tally::files() const {
  uint64_t total = 0;
  for (const uint64_t n : files_) total += n;
  return total;
}

uint64_t Tally::filesWithCode(int32_t code) const { return files_[codeIndex(code)]; }

std::string summaryText(std::string_view program, Operation operation, const Tally& tally,
                        double seconds) {
  const uint64_t files = tally.files();
  std::string out(program);
  out += ": " + std::string(operationName(operation)) + " of " + std::to_string(files) +
         (files == 1 ? " file, " : " files, ") + amount(tally.bytes()) + " in " +
         fixed(seconds, 2) + " s";
  if (seconds > 0) {
    out += " (" + fixed(static_cast<double>(tally.bytes()) / 1e6 / seconds, 1) + " MB/s, " +
           fixed(static_cast<double>(files) / seconds, 0) + " files/s)";
  }
  out += '\n';
  uint64_t others = files;
  const auto line = [&out](uint64_t n, std::string_view message) {
    const std::string count = std::to_string(n);
    out += std::string(count.size() < 9 ? 9 - count.size() : 1, ' ') + count + "  ";
    out += message;
    out += '\n';
  };
  for (const int32_t code : Tally::kCodes) {
    const uint64_t n = tally.filesWithCode(code);
    others -= n;
    if (n > 0) line(n, errorText(code));
  }
  if (others > 0) line(others, errorText(-1));
  return out;
}

std::string progressText(const Progress& progress) {
  std::string out = std::to_string(progress.filesDone);
  if (progress.allKnown) out += " of " + std::to_string(progress.filesKnown);
  out += " files, " + amount(progress.bytesDone);
  if (progress.seconds > 0 && progress.filesDone > 0) {
    const double rate = static_cast<double>(progress.filesDone) / progress.seconds;
    out += ", " + fixed(rate, 0) + " files/s, " +
           fixed(static_cast<double>(progress.bytesDone) / 1e6 / progress.seconds, 1) + " MB/s";
    if (progress.allKnown) {
      out += ", " + duration(static_cast<double>(progress.filesKnown - progress.filesDone) / rate) +
             " left";
    }
  }
  return out;
}

OutputBuffer::OutputBuffer(Writer write, bool eachLine, std::size_t threshold)
    : write_(std::move(write)), eachLine_(eachLine), threshold_(threshold) {}

bool OutputBuffer::append(std::string_view lines) {
  std::lock_guard lock(mutex_);
  if (failed_) return false;
  pending_.append(lines);
  return eachLine_ || pending_.size() >= threshold_ ? writeLocked() : true;
}

bool OutputBuffer::flush() {
  std::lock_guard lock(mutex_);
  return failed_ ? false : writeLocked();
}

bool OutputBuffer::writeLocked() {
  if (!pending_.empty() && !write_(pending_)) failed_ = true;
  pending_.clear();
  return !failed_;
}

}  // namespace korvale::batch
