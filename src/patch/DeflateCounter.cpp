#include "patch/DeflateCounter.h"

#include <stdexcept>

#include "sys/Exception.h"

namespace slv2::diff {
namespace {
constexpr uInt kOutSize = 1 << 16;
}  // namespace

TDeflateCounter::TDeflateCounter(int level)
    : out_(std::make_unique_for_overwrite<uint8_t[]>(kOutSize)) {
  if (deflateInit(&stream_, level) != Z_OK) throw std::bad_alloc();
}

TDeflateCounter::~TDeflateCounter() {
  deflateEnd(&stream_);
}

void TDeflateCounter::Reset() {
  deflateReset(&stream_);
  size_ = 0;
}

void TDeflateCounter::Put(const void* data, uint32_t count) {
  stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  stream_.avail_in = count;
  Drain(Z_NO_FLUSH);
}

uint64_t TDeflateCounter::Finish() {
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  Drain(Z_FINISH);
  return size_;
}

void TDeflateCounter::Drain(int flush) {
  int status;
  do {
    stream_.next_out = out_.get();
    stream_.avail_out = kOutSize;
    status = deflate(&stream_, flush);
    SLV2_ASSERT(status != Z_STREAM_ERROR, "DiffEncoder");
    size_ += kOutSize - stream_.avail_out;
  } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

}  // namespace slv2::diff
