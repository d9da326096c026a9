// What the flush to stable storage costs SET: the operation on a 1 KiB and a 1 MiB file in a
// folder given on the command line (on the file system to measure), once as it runs and once
// with a file whose flush does nothing, as SET ran before it flushed.
//   set_bench [benchmark options] FOLDER
#include <benchmark/benchmark.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "file_operations.h"

namespace {

// The real file, but its flush returns at once.
class UnflushedFile final : public korvale::DataFile {
 public:
  explicit UnflushedFile(std::unique_ptr<DataFile> file) : file_(std::move(file)) {}
  std::optional<korvale::FileStamp> stamp() override { return file_->stamp(); }
  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    return file_->readAt(offset, buffer);
  }
  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    return file_->writeAt(offset, data);
  }
  bool flush() override { return true; }

  static std::unique_ptr<DataFile> open(const std::string& name) {
    std::unique_ptr<DataFile> file = korvale::openDataFileExclusive(name);
    if (!file) return nullptr;
    return std::make_unique<UnflushedFile>(std::move(file));
  }

 private:
  std::unique_ptr<DataFile> file_;
};

std::string makeDataFile(const std::string& folder, std::size_t size) {
  const std::string path = folder + "/set-" + std::to_string(size) + ".xml";
  std::string content =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog crc32=\"0x00000000\" name=\"bench\">\n";
  for (std::size_t i = content.size(); i < size; ++i) content += i % 64 == 63 ? '\n' : 'a';
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

void set(benchmark::State& state, const std::string& folder, korvale::DataFileOpener open) {
  const std::string path = makeDataFile(folder, static_cast<std::size_t>(state.range(0)));
  korvale::OperationInfo info;
  for (auto _ : state) {
    if (korvale::setCRC32inFile(info, path, nullptr, open) != korvale::kOk) {
      state.SkipWithError("SET did not give OK");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::cerr << "usage: set_bench [benchmark options] FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  for (auto [name, open] : {std::pair{"set/flush", &korvale::openDataFileExclusive},
                            std::pair{"set/no flush", &UnflushedFile::open}}) {
    benchmark::RegisterBenchmark(name, set, folder, open)
        ->Arg(1 << 10)
        ->Arg(1 << 20)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
