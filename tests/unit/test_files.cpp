// Scratch folders and data-file builders shared by the library tests.
#include "test_files.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace korvale::testing {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  std::random_device seed;
  dir_ = std::filesystem::temp_directory_path() /
         ("korvale-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(dir_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

std::string ScratchDir::path(std::string_view name) const { return (dir_ / name).string(); }

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string dataFile(std::size_t size, std::string_view field, std::size_t at) {
  static constexpr std::string_view kFiller =
      "<?xml version=\"1.0\"?>\n<Library name=\"valves\">\n  <Value unit=\"bar\">350</Value>\n";
  std::string bytes;
  while (bytes.size() < size) bytes += kFiller;
  bytes.resize(size);
  bytes.replace(at, field.size(), field);
  return bytes;
}

std::string differingOffsets(std::string_view a, std::string_view b) {
  std::string offsets;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) offsets += std::to_string(i) + " ";
  }
  return offsets;
}

}  // namespace korvale::testing
