// The chunks of the pass over a file, in order. For a file of several chunks a second thread
// reads ahead into a small ring of buffers, so the CRC of one chunk runs while the next one is
// being read and the pass costs about what reading alone costs. Internal to the library.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <thread>

#include "data_file.h"

namespace korvale {

class ChunkReader {
 public:
  // Reads `file` from `offset` on, `chunkSize` bytes at a time; `size`, what the file held
  // when opened, decides whether reading ahead pays.
  ChunkReader(DataFile& file, uint64_t offset, uint64_t size, std::size_t chunkSize);
  ~ChunkReader();
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // The next chunk at `data`, valid until the next call. Fewer bytes than a chunk only at the
  // end of the file, or -1 when a read failed; either ends the pass.
  int64_t next(const uint8_t*& data);

 private:
  static constexpr std::size_t kRing = 3;

  uint8_t* slot(std::size_t index) { return buffer_.get() + index * chunkSize_; }
  int64_t read(std::size_t index);
  void readAhead();

  DataFile& file_;
  uint64_t offset_;
  const std::size_t chunkSize_;
  std::size_t slots_ = 1;  // kRing while a thread reads ahead
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t count_[kRing] = {};
  std::size_t taken_ = 0;
  std::counting_semaphore<> free_{kRing}, filled_{0};
  std::atomic<bool> stop_ = false;
  std::thread reader_;
};

}  // namespace korvale
