// A forward-only window over a stream: the encoder's view of the next bytes of
// the old or the new file, with memory bounded by the window's capacity
// whatever the file's size.
#pragma once

#include <cstdint>
#include <memory>

#include "storage/Stream.h"

namespace slv2::diff {

class TStreamWindow {
 public:
  TStreamWindow(TStream& stream, uint32_t capacity);

  // Reads until the window is full or the stream has ended; raises EReadError
  // when the stream fails.
  void Fill();
  // Drops the first `count` bytes (at most Size()).
  void Discard(uint32_t count);

  const uint8_t* Data() const { return buffer_.get(); }
  uint32_t Size() const { return size_; }

 private:
  TStream& stream_;
  uint32_t capacity_;
  uint32_t size_ = 0;
  bool ended_ = false;
  std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace slv2::diff
