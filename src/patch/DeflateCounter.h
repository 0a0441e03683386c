// Measures how many bytes data would take once deflated, without keeping the
// result: the encoder's yardstick when it weighs candidate blocks against each
// other, since a difference is stored zlib-compressed.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>

#include "patch/BlockWriter.h"

namespace slv2::diff {

class TDeflateCounter final : public TByteSink {
 public:
  // Level 6 ranks the encoder's candidates close to how the storage's level 9
  // does, and faster.
  explicit TDeflateCounter(int level = 6);
  ~TDeflateCounter() override;
  TDeflateCounter(const TDeflateCounter&) = delete;
  TDeflateCounter& operator=(const TDeflateCounter&) = delete;

  // Starts a new measurement.
  void Reset();
  void Put(const void* data, uint32_t count) override;
  // The deflated size of everything put since Reset().
  uint64_t Finish();
  // What has come out so far: a lower bound of Finish().
  uint64_t SizeSoFar() const { return size_; }

 private:
  void Drain(int flush);

  z_stream stream_{};
  std::unique_ptr<uint8_t[]> out_;
  uint64_t size_ = 0;
};

}  // namespace slv2::diff
