#include "patch/StreamWindow.h"

#include <cstring>

namespace slv2::diff {

TStreamWindow::TStreamWindow(TStream& stream, uint32_t capacity)
    : stream_(stream),
      capacity_(capacity),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(capacity)) {}

void TStreamWindow::Fill() {
  while (!ended_ && size_ < capacity_) {
    int32_t n = stream_.Read(buffer_.get() + size_, static_cast<int32_t>(capacity_ - size_));
    if (n < 0) throw EReadError("Stream read error");
    if (n == 0) ended_ = true;
    size_ += static_cast<uint32_t>(n);
  }
}

void TStreamWindow::Discard(uint32_t count) {
  SLV2_ASSERT(count <= size_, "DiffEncoder");
  std::memmove(buffer_.get(), buffer_.get() + count, size_ - count);
  size_ -= count;
}

}  // namespace slv2::diff
