// The page's WebAssembly module: the library's rules behind a small C interface. The page
// writes bytes into the module's memory and calls these functions one at a time; texts come
// back as zero-terminated ASCII in that memory. The module imports nothing.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "stream_operation.h"
#include "walk.h"

#define KORVALE_WEB_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

using namespace korvale;

// The most the page hands over in one call: pieces of a file as the browser reads them (its
// buffer is this size), so a file of any size passes without being held in memory.
constexpr std::size_t kChunk = 4 << 20;
alignas(16) uint8_t chunk[kChunk];

std::vector<uint8_t> input;  // what the page hands over beside a chunk: a tree to walk
std::optional<StreamOperation> stream;
Outcome outcome;
HeadBlock head{};              // after a set or reset: the head block the file holds then
std::string text;              // the text handed out last
tCRC32 zipCrc;                 // for the page's zip files: the common CRC-32
std::vector<uint32_t> walked;  // the walk's files, as their places in the list handed over

std::span<const uint8_t> chunkBytes(uint32_t length) {
  return {chunk, std::min<std::size_t>(length, kChunk)};
}

// Keeps what an operation gave, for the calls that read it out.
int32_t record(const Outcome& result) {
  outcome = result;
  if (stream) head = stream->head();
  stream.reset();
  return outcome.code;
}

const char* handOut(std::string_view value) {
  text.assign(value);
  return text.c_str();
}

// A tree the page has listed, for the folder walk: folders by their paths, each with its
// entries; a file's id is its place in the list.
class ListedFolders : public engine::Folders {
 public:
  void add(std::string path, bool folder, uint32_t place) {
    if (folder) {
      folders_.try_emplace(path);
    } else {
      files_[path] = place;
    }
    // A folder's entries come with the paths under it: a picked folder lists files only.
    for (auto at = path.rfind('/'); at != std::string::npos; at = path.rfind('/')) {
      std::string parent = path.substr(0, at);
      std::vector<engine::FolderEntry>& entries = folders_[parent];
      const std::string name = path.substr(at + 1);
      const bool known = std::any_of(entries.begin(), entries.end(),
                                     [&](const engine::FolderEntry& e) { return e.name == name; });
      if (known) break;
      entries.push_back({name, folder ? engine::FolderEntry::kFolder : engine::FolderEntry::kOther,
                         folder ? std::nullopt : idOf(path)});
      path = std::move(parent);
      folder = true;
    }
  }

  std::optional<std::vector<engine::FolderEntry>> list(const std::string& folder) override {
    const auto at = folders_.find(folder);
    if (at == folders_.end()) return std::nullopt;
    return at->second;
  }
  engine::PathInfo look(const std::string& path) override {
    return {folders_.contains(path), idOf(path)};
  }
  std::string join(const std::string& folder, std::string_view name) override {
    return folder + "/" + std::string(name);
  }

 private:
  std::optional<engine::FileId> idOf(const std::string& path) const {
    const auto at = files_.find(path);
    if (at == files_.end()) return std::nullopt;
    return engine::FileId{0, at->second};
  }

  std::map<std::string, std::vector<engine::FolderEntry>> folders_;
  std::map<std::string, uint32_t> files_;
};

}  // namespace

KORVALE_WEB_EXPORT(korvale_chunk) uint8_t* korvale_chunk() { return chunk; }
KORVALE_WEB_EXPORT(korvale_chunk_size) uint32_t korvale_chunk_size() { return kChunk; }

// Starts an operation (0 check, 1 set, 2 reset) on a file whose first `length` bytes, up to a
// head block, are in the chunk. 1 when the bytes after the head block are wanted: the page
// then feeds them in order and finishes; else it finishes at once.
KORVALE_WEB_EXPORT(korvale_begin) int32_t korvale_begin(int32_t operation, uint32_t length) {
  const std::size_t headLength = std::min<std::size_t>(length, kHeadBlockSize);
  stream.emplace(static_cast<Operation>(operation), chunkBytes(length).first(headLength));
  return stream->wantsContent() ? 1 : 0;
}

KORVALE_WEB_EXPORT(korvale_feed) void korvale_feed(uint32_t length) {
  stream->feed(chunkBytes(length));
}

// The outcome's code; its texts come through korvale_text, and after a set or reset that gives
// 0 the new head block through korvale_head.
KORVALE_WEB_EXPORT(korvale_finish) int32_t korvale_finish() { return record(stream->finish()); }

// The file stopped being readable after korvale_begin.
KORVALE_WEB_EXPORT(korvale_fail) int32_t korvale_fail() { return record(stream->fail()); }

// The file could not be read at all.
KORVALE_WEB_EXPORT(korvale_unopened) int32_t korvale_unopened(int32_t operation) {
  return record(StreamOperation::unopened(static_cast<Operation>(operation)));
}

// 0: the CRC text, 1: the stored field, 2: the computed CRC of the last outcome.
KORVALE_WEB_EXPORT(korvale_text) const char* korvale_text(int32_t which) {
  switch (which) {
    case 0:
      return handOut(outcome.crcText);
    case 1:
      return handOut(outcome.stored);
    default:
      return handOut(outcome.computed);
  }
}

KORVALE_WEB_EXPORT(korvale_head) const uint8_t* korvale_head() { return head.data(); }

KORVALE_WEB_EXPORT(korvale_message) const char* korvale_message(int32_t code) {
  return handOut(errorText(code));
}

KORVALE_WEB_EXPORT(korvale_word) const char* korvale_word(int32_t code) {
  return handOut(resultWord(code));
}

// The common CRC-32 that a zip file gives each entry: the complement of the library's register.
KORVALE_WEB_EXPORT(korvale_zip_crc_begin) void korvale_zip_crc_begin() { zipCrc.initCRC32(); }
KORVALE_WEB_EXPORT(korvale_zip_crc_feed) void korvale_zip_crc_feed(uint32_t length) {
  zipCrc.update(chunkBytes(length));
}
KORVALE_WEB_EXPORT(korvale_zip_crc) uint32_t korvale_zip_crc() { return ~zipCrc.value(); }

// Room for `size` bytes to hand over to korvale_walk.
KORVALE_WEB_EXPORT(korvale_input) uint8_t* korvale_input(uint32_t size) {
  input.assign(size, 0);
  return input.data();
}

// Walks a tree the page has listed, as korvale-batch walks a path. The input: the path given,
// then its entries, each a 'D' (folder) or 'F' (file) and its path from the same start, each
// ending in a zero byte. Gives how many files the walk takes; korvale_walked then holds their
// places among the entries, in the walk's order.
KORVALE_WEB_EXPORT(korvale_walk) uint32_t korvale_walk() {
  std::vector<std::string> parts;
  for (auto at = input.begin(); at != input.end();) {
    const auto end = std::find(at, input.end(), uint8_t{0});
    parts.emplace_back(at, end);
    at = end == input.end() ? end : end + 1;
  }
  walked.clear();
  if (parts.empty()) return 0;
  ListedFolders folders;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty()) continue;
    folders.add(parts[i].substr(1), parts[i][0] == 'D', static_cast<uint32_t>(i - 1));
  }
  engine::walkPath(folders, parts[0], [](engine::WalkedFile file) {
    if (file.id) walked.push_back(static_cast<uint32_t>(file.id->inode));
    return true;
  });
  return static_cast<uint32_t>(walked.size());
}

KORVALE_WEB_EXPORT(korvale_walked) const uint32_t* korvale_walked() { return walked.data(); }
