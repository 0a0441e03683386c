// Serialises the blocks of a difference (DiffFormat.h) into a byte sink: the
// stream the difference goes to, or a counter that measures how well a
// candidate block would compress.
#pragma once

#include <cstdint>
#include <vector>

#include "patch/ChunkMatcher.h"
#include "storage/Stream.h"

namespace slv2::diff {

class TByteSink {
 public:
  virtual ~TByteSink() = default;
  virtual void Put(const void* data, uint32_t count) = 0;
};

// Hands the bytes to a stream in large writes; Flush() writes the rest.
class TStreamSink final : public TByteSink {
 public:
  explicit TStreamSink(TStream& stream);
  void Put(const void* data, uint32_t count) override;
  void Flush();

 private:
  TStream& stream_;
  std::vector<uint8_t> buffer_;
};

// A stored block with `data`, consuming `sourceLength` old bytes unused.
void WriteStoredBlock(TByteSink& out, uint32_t sourceLength, const uint8_t* data, uint32_t length);
// A delta block that rebuilds nothing: it consumes old bytes no block copies
// from, and still checks them.
void WriteSkipBlock(TByteSink& out, const uint8_t* source, uint32_t length);
// A delta block rebuilding `target` from `source` with `copies` (in target
// order); every other target byte goes into the literal data.
void WriteDeltaBlock(TByteSink& out, const uint8_t* source, uint32_t sourceLength,
                     const uint8_t* target, uint32_t targetLength,
                     const std::vector<TCopy>& copies);
void WriteEndBlock(TByteSink& out);

// The size of the delta block WriteDeltaBlock() would write.
uint64_t DeltaBlockSize(uint32_t targetLength, const std::vector<TCopy>& copies);

}  // namespace slv2::diff
