#include "DiffTestSupport.h"
#include "patch/DiffFormat.h"

namespace slv2 {
namespace {

using test::Delta;
using test::kEndBlock;
using test::Stored;
using test::U32;

const std::string kOld = "0123456789";
const std::string kNew = "01XY456789Z";

// The worked example of the format: one delta block and the end block.
std::string WorkedExample() {
  return Delta(kOld, kNew, "XYZ", {{2, 1, 1}, {6, 5, 5}, {0, 1, 12}}) + kEndBlock;
}

// A difference applied to an old file: the target written (before the
// failure, for a rejected one) and whether the format's checks passed it.
struct Row {
  const char* what;
  std::string diff, source, target;
  bool ok = true;
};

// Decodes with forward-only streams; a rejection is the format's own error.
void ExpectDecoded(const Row& row) {
  SCOPED_TRACE(row.what);
  test::TextStream d(row.diff);
  test::ForwardOnlyStream s(row.source), t;
  try {
    ApplyDiffStream(d, s, t);
    EXPECT_TRUE(row.ok) << "decode succeeded";
  } catch (const Exception& e) {
    EXPECT_FALSE(row.ok) << e.Message();
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "CRC Error");
  }
  EXPECT_EQ(t.ToString(), row.target);
}

TEST(DiffDecoder, RebuildsTheTargetByTheFormatsRules) {
  ASSERT_EQ(WorkedExample().size(), 63u);
  // Trailing literals need a final copy of length 0 (the worked example's
  // last command); without it they are dropped, and a command length of 25
  // holds two commands.
  std::string dropped = U32(2) + '\1' + U32(test::Crc("xyxy")) + U32(test::Crc("xy")) + U32(2) +
                        U32(25) + "ab" + test::Commands({{2, 1, 1}, {2, 1, 3}}) + "12345" +
                        kEndBlock;
  const Row rows[] = {
      {"the worked example", WorkedExample(), kOld, kNew},
      {"a stored block needs no source; what follows the end block is not read",
       Stored("a") + kEndBlock + Stored("ignored"), "", "a"},
      {"source positions count within the block's own chunk",
       Stored("S", 3) + Delta("defg", "defgd", "", {{4, 1, 1}, {1, 1, 5}}) + kEndBlock, "abcdefgh",
       "Sdefgd"},
      {"trailing literals without one", dropped, "xy", "xyxy"},
      {"no commands: an empty chunk, which still checks its source",
       Delta("xy", "", "zz", {}) + kEndBlock, "xy", ""},
      // "XYZ" and "a" fill positions 1 to 4; target position 3 moves the
      // output cursor back to 3 and the literal cursor back to 2, "b"
      // overwrites "Z", and the next gap takes "Y" a second time.
      {"a backward target position moves both cursors back",
       Delta("abcdef", "XYbY", "XYZ", {{1, 1, 4}, {1, 2, 3}, {0, 1, 5}}) + kEndBlock, "abcdef",
       "XYbY"},
      {"a move back without a later copy shortens the chunk",
       Delta("abc", "a", "", {{3, 1, 1}, {0, 1, 2}}) + kEndBlock, "abc", "a"},
      {"a copy of length 0 reads nothing, whatever its source position",
       Delta("", "ab", "ab", {{0, 0, 3}}) + kEndBlock, "", "ab"},
  };
  for (const Row& row : rows)
    ExpectDecoded(row);
}

// Every check fails before its block is written. A difference that is only
// its end block checks nothing: applied, it would empty whatever file it
// met, which is what a damaged element may hold.
TEST(DiffDecoder, RejectsUncheckedAndDamagedBlocksBeforeWritingThem) {
  const uint32_t over = diff::kChunkSize + 1;
  std::string first = Stored("first"), damaged = Stored("second") + kEndBlock;
  damaged[13] ^= 1;
  std::string wrongChunk = WorkedExample();
  wrongChunk[26] = 2;  // the first copy takes "12" instead of "01"
  std::string kind2 = WorkedExample();
  kind2[4] = '\2';
  auto deltaLengths = [&](uint32_t literals, uint32_t commands) {
    return U32(0) + '\1' + U32(0) + U32(0) + U32(literals) + U32(commands) + std::string(over, 0);
  };
  const Row rows[] = {
      {"only an end block", kEndBlock, "installed", "", false},
      // The old file differs only where no copy reads, so the chunk would
      // still pass its target CRC.
      {"another old file", first + WorkedExample(), "01ab456789", "first", false},
      {"damaged stored data", first + damaged, "", "first", false},
      {"a damaged command", first + wrongChunk, kOld, "first", false},
      {"block kind 2", first + kind2, kOld, "first", false},
      {"a source length past the buffer, before any source byte is read", U32(over),
       std::string(over, 'x'), "", false},
      {"a literal length past the buffer", deltaLengths(over, 0), "", "", false},
      {"a command length past the buffer", deltaLengths(0, over), "", "", false},
  };
  for (const Row& row : rows)
    ExpectDecoded(row);
  // A first block leaves "0123456789" in the source buffer and "LMNOPQRSTU"
  // in the data buffer; the block under test then reads the source chunk
  // "abcdef" and its own literals over them. Where a decoder without bounds
  // checks would rebuild a predictable chunk from those stale bytes, the
  // target CRC is that chunk's, so only the bounds check can refuse it.
  struct Stale {
    const char* what;
    std::string literals;
    std::vector<test::Cmd> commands;
    std::string staleResult;
  };
  const Stale stale[] = {
      {"copy beyond the source chunk", "", {{3, 5, 1}}, "ef6"},
      {"copy from source position 0", "", {{1, 0, 1}}, ""},
      {"target position 0", "", {{1, 1, 0}}, ""},
      {"gap taken from before the literal data", "", {{2, 1, 1}, {0, 1, 1}, {0, 1, 2}}, ""},
      {"gap beyond the literal data", "ab", {{1, 1, 4}}, "abNa"},
      {"copy ending beyond the target chunk",
       std::string(diff::kChunkSize, 'l'),
       {{2, 1, diff::kChunkSize}},
       ""},
  };
  for (const Stale& c : stale) {
    std::string block = Delta("abcdef", c.staleResult, c.literals, c.commands);
    ExpectDecoded({c.what, Stored("LMNOPQRSTU", 10) + block + kEndBlock, "0123456789abcdef",
                   "LMNOPQRSTU", false});
  }
}

TEST(DiffDecoder, EveryTruncationOfTheDifferenceOrTheOldFileFails) {
  std::string diff = Stored("ab") + WorkedExample();
  for (size_t length = 0; length < diff.size(); ++length) {
    test::TextStream d(diff.substr(0, length)), s(kOld), t;
    EXPECT_THROW(ApplyDiffStream(d, s, t), Exception) << "length " << length;
  }
  // So does an old file shorter than a block's source chunk.
  test::TextStream d(WorkedExample()), s("012345678"), t;
  EXPECT_THROW(ApplyDiffStream(d, s, t), EReadError);
  EXPECT_EQ(t.Size(), 0);
}

TEST(DiffDecoder, ProgressCountsDifferenceBytesFromPositionZero) {
  std::string prefix = "12345";
  std::string diff = Stored("abc") + WorkedExample();
  test::TextStream d(prefix + diff), s(kOld), t;
  d.SetPosition(int64_t(prefix.size()));
  std::vector<int32_t> calls;
  ApplyDiffStream(d, s, t, [&](int32_t delta) { calls.push_back(delta); });
  EXPECT_EQ(t.ToString(), "abc" + kNew);
  // The stored block reports everything up to its data (the prefix included);
  // each of the three commands reports once, after the commands were read.
  int32_t storedEnd = int32_t(prefix.size()) + 16;
  int32_t commandsEnd = int32_t(prefix.size() + diff.size()) - 9;
  EXPECT_EQ(calls, (std::vector<int32_t>{storedEnd, commandsEnd - storedEnd, 0, 0}));
}

}  // namespace
}  // namespace slv2
