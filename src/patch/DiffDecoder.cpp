#include "patch/DiffDecoder.h"

#include <cstring>
#include <memory>

#include "patch/DiffFormat.h"
#include "sys/Crc32.h"

namespace slv2 {
namespace {

using namespace diff;

[[noreturn]] void Reject() {
  throw Exception("CRC Error");
}

using Buffer = std::unique_ptr<uint8_t[]>;
Buffer WorkBuffer() {
  return std::make_unique_for_overwrite<uint8_t[]>(kChunkSize);
}

// One decode: the four work buffers, allocated once and reused by every block,
// and the progress reference.
class Decoder {
 public:
  Decoder(TStream& diff, TStream& source, TStream& target, const TDiffProgressProc& progress)
      : diff_(diff), source_(source), target_(target), progress_(progress) {
    if (progress_) start_ = diff_.Position();
  }

  void Run() {
    for (bool first = true;; first = false) {
      uint32_t sourceLength = ReadLength();
      source_.ReadBuffer(sourceChunk_.get(), static_cast<int32_t>(sourceLength));
      uint8_t kind = 0;
      ReadDiff(&kind, 1);
      if (kind == kStoredBlock) {
        if (StoredBlock()) continue;
        // A difference that is only its end block checks nothing and would
        // empty any file it is applied to: what a damaged element leaves.
        if (first) Reject();
        return;
      }
      if (kind != kDeltaBlock) Reject();
      DeltaBlock(sourceLength);
    }
  }

 private:
  void ReadDiff(void* buffer, uint32_t count) {
    diff_.ReadBuffer(buffer, static_cast<int32_t>(count));
    consumed_ += count;
  }

  uint32_t ReadU32() {
    uint8_t field[4];
    ReadDiff(field, 4);
    return GetU32(field);
  }

  // A length of a chunk, a data or a command section: it must fit its buffer.
  uint32_t ReadLength() {
    uint32_t length = ReadU32();
    if (length > kChunkSize) Reject();
    return length;
  }

  void Notify() {
    if (!progress_) return;
    int64_t position = start_ + consumed_;
    progress_(static_cast<int32_t>(position - reported_));
    reported_ = position;
  }

  // False for the end block.
  bool StoredBlock() {
    uint32_t length = ReadLength();
    if (length == 0) return false;
    uint32_t crc = ReadU32();
    ReadDiff(data_.get(), length);
    Notify();
    if (CalcCRC32(data_.get(), length) != crc) Reject();
    target_.WriteBuffer(data_.get(), static_cast<int32_t>(length));
    return true;
  }

  void DeltaBlock(uint32_t sourceLength) {
    uint32_t targetCrc = ReadU32();
    uint32_t sourceCrc = ReadU32();
    if (CalcCRC32(sourceChunk_.get(), sourceLength) != sourceCrc) Reject();
    uint32_t length = Rebuild(sourceLength);
    if (CalcCRC32(targetChunk_.get(), length) != targetCrc) Reject();
    target_.WriteBuffer(targetChunk_.get(), static_cast<int32_t>(length));
  }

  // Places literal bytes and source copies into the target chunk and returns
  // the chunk's length. A command whose target position lies before the
  // output cursor moves the output and literal cursors back by the
  // difference, so that later bytes overwrite earlier ones; every command is
  // checked against the buffers before it moves a byte.
  uint32_t Rebuild(uint32_t sourceLength) {
    uint8_t lengths[8];
    ReadDiff(lengths, 8);
    uint32_t literalLength = GetU32(lengths), commandLength = GetU32(lengths + 4);
    if (literalLength > kChunkSize || commandLength > kChunkSize) Reject();
    ReadDiff(data_.get(), literalLength);
    ReadDiff(commands_.get(), commandLength);

    // 0-based cursors; the literal cursor may stand before the literal data
    // after a move back, which is refused only when literals are taken there.
    int64_t literal = 0, out = 0;
    for (uint32_t i = 0; i < commandLength / kCommandSize; ++i) {
      Notify();
      const uint8_t* command = commands_.get() + uint64_t(i) * kCommandSize;
      int64_t copyLength = GetU16(command);
      int64_t sourcePosition = GetU32(command + 2);
      int64_t targetPosition = GetU32(command + 6);
      if (targetPosition == 0 || targetPosition - 1 + copyLength > kChunkSize) Reject();
      int64_t gap = targetPosition - 1 - out;
      if (gap > 0 && (literal < 0 || literal + gap > literalLength)) Reject();
      if (copyLength > 0 &&
          (sourcePosition == 0 || sourcePosition - 1 + copyLength > sourceLength)) {
        Reject();
      }
      if (gap > 0) std::memcpy(targetChunk_.get() + out, data_.get() + literal, size_t(gap));
      literal += gap;
      out += gap;
      if (copyLength > 0) {
        std::memcpy(targetChunk_.get() + out, sourceChunk_.get() + sourcePosition - 1,
                    size_t(copyLength));
        out += copyLength;
      }
    }
    return static_cast<uint32_t>(out);
  }

  TStream& diff_;
  TStream& source_;
  TStream& target_;
  const TDiffProgressProc& progress_;
  int64_t start_ = 0, consumed_ = 0, reported_ = 0;
  Buffer sourceChunk_ = WorkBuffer(), data_ = WorkBuffer(), commands_ = WorkBuffer(),
         targetChunk_ = WorkBuffer();
};

// The length of a delta block's target chunk: each command puts the output
// cursor at its target position and copies after it, so the last command
// ends the chunk.
uint32_t DeltaTargetLength(const uint8_t* commands, uint32_t commandLength) {
  uint32_t count = commandLength / kCommandSize;
  if (count == 0) return 0;
  const uint8_t* last = commands + uint64_t(count - 1) * kCommandSize;
  uint64_t targetPosition = GetU32(last + 6);
  if (targetPosition == 0) Reject();
  uint64_t end = targetPosition - 1 + GetU16(last);
  if (end > kChunkSize) Reject();
  return static_cast<uint32_t>(end);
}

// Compares the installed file with the difference's blocks (see
// DiffResultInPlace); raises on a malformed or short difference or file.
bool MatchesResult(TStream& diff, TStream& installed) {
  Buffer data = WorkBuffer(), chunk = WorkBuffer();
  auto readU32 = [&diff] {
    uint8_t field[4];
    diff.ReadBuffer(field, 4);
    return GetU32(field);
  };
  for (;;) {
    if (readU32() > kChunkSize) Reject();  // the source length, not needed here
    uint8_t kind = 0;
    diff.ReadBuffer(&kind, 1);
    uint32_t length = 0, crc = 0;
    if (kind == kStoredBlock) {
      length = readU32();
      if (length > kChunkSize) Reject();
      if (length == 0) return installed.Position() == installed.Size();
      crc = readU32();
      diff.Seek(length, fs::kSeekCurrent);
    } else if (kind == kDeltaBlock) {
      crc = readU32();
      readU32();  // the source CRC
      uint32_t literalLength = readU32(), commandLength = readU32();
      if (literalLength > kChunkSize || commandLength > kChunkSize) Reject();
      diff.Seek(literalLength, fs::kSeekCurrent);
      diff.ReadBuffer(data.get(), static_cast<int32_t>(commandLength));
      length = DeltaTargetLength(data.get(), commandLength);
    } else {
      Reject();
    }
    if (installed.Size() - installed.Position() < length) return false;
    installed.ReadBuffer(chunk.get(), static_cast<int32_t>(length));
    if (CalcCRC32(chunk.get(), length) != crc) return false;
  }
}

}  // namespace

bool DiffResultInPlace(TStream& diff, TStream& installed) {
  try {
    return MatchesResult(diff, installed);
  } catch (const std::exception&) {
    return false;
  }
}

void ApplyDiffStream(TStream& diff, TStream& source, TStream& target,
                     const TDiffProgressProc& progress) {
  Decoder(diff, source, target, progress).Run();
}

}  // namespace slv2
