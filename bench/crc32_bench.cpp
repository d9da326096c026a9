// Throughput of every CRC engine this processor runs, beside memchr and memcpy over the same
// buffer: the engines should come close to what merely touching the bytes costs. Two sizes:
// one chunk of the file pass (cache-resident) and a buffer far larger than the caches.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CRC32.h"
#include "file_operations.h"

namespace {

constexpr int64_t kSizes[] = {korvale::kReadChunk, 256 << 20};

const std::vector<uint8_t>& buffer(std::size_t size) {
  static std::vector<uint8_t> data;
  if (data.size() < size) {
    std::mt19937 random(66413);
    data.resize(size);
    for (auto& b : data) b = static_cast<uint8_t>(random() % 255 + 1);  // never 0, for memchr
  }
  return data;
}

void crc(benchmark::State& state, korvale::CrcEngine engine) {
  const std::span<const uint8_t> bytes(buffer(state.range(0)).data(), state.range(0));
  uint32_t reg = 0xFFFFFFFFu;
  for (auto _ : state) benchmark::DoNotOptimize(reg = engine.update(reg, bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void memchrZero(benchmark::State& state) {
  const uint8_t* bytes = buffer(state.range(0)).data();
  for (auto _ : state) benchmark::DoNotOptimize(std::memchr(bytes, 0, state.range(0)));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void memcpyOut(benchmark::State& state) {
  const uint8_t* bytes = buffer(state.range(0)).data();
  std::vector<uint8_t> target(state.range(0));
  for (auto _ : state) {
    std::memcpy(target.data(), bytes, state.range(0));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  for (int64_t size : kSizes) {
    benchmark::RegisterBenchmark("memchr", memchrZero)->Arg(size);
    benchmark::RegisterBenchmark("memcpy", memcpyOut)->Arg(size);
    for (const korvale::CrcEngine& engine : korvale::crcEngines()) {
      benchmark::RegisterBenchmark(("crc32/" + std::string(engine.name)).c_str(), crc, engine)
          ->Arg(size);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
