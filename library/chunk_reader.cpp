// Reading ahead: one thread fills a ring of chunks in file order while the caller empties it.
#include "chunk_reader.h"

#include <new>
#include <system_error>

#include "checksum_field.h"

namespace korvale {
namespace {

// Below this many chunks a second thread costs more to start than the overlap gains.
constexpr uint64_t kChunksWorthReadingAhead = 8;

}  // namespace

ChunkReader::ChunkReader(DataFile& file, uint64_t offset, uint64_t size, std::size_t chunkSize)
    : file_(file), offset_(offset), chunkSize_(chunkSize) {
  if (size > offset && (size - offset) / chunkSize >= kChunksWorthReadingAhead) {
    buffer_.reset(new (std::nothrow) uint8_t[kRing * chunkSize]);
    if (buffer_) {
      try {
        reader_ = std::thread(&ChunkReader::readAhead, this);
        slots_ = kRing;
        return;
      } catch (const std::system_error&) {
        // No thread to be had: read in turn, as for a small file.
      }
    }
  }
  buffer_ = std::make_unique_for_overwrite<uint8_t[]>(chunkSize);
}

ChunkReader::~ChunkReader() {
  if (!reader_.joinable()) return;
  stop_ = true;
  free_.release();  // in case the reader waits for a free slot
  reader_.join();
}

int64_t ChunkReader::next(const uint8_t*& data) {
  const std::size_t index = taken_++ % slots_;
  data = slot(index);
  if (!reader_.joinable()) return read(index);
  if (taken_ > 1) free_.release();  // the caller is done with the chunk before
  filled_.acquire();
  return count_[index];
}

int64_t ChunkReader::read(std::size_t index) {
  const int64_t n = readFully(file_, offset_, {slot(index), chunkSize_});
  if (n > 0) offset_ += static_cast<uint64_t>(n);
  return count_[index] = n;
}

void ChunkReader::readAhead() {
  for (std::size_t index = 0;; index = (index + 1) % kRing) {
    free_.acquire();
    if (stop_) return;
    const bool last = read(index) != static_cast<int64_t>(chunkSize_);
    filled_.release();
    if (last) return;
  }
}

}  // namespace korvale
