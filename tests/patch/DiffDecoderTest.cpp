#include "DiffTestSupport.h"
#include "patch/DiffFormat.h"

namespace slv2 {
namespace {

using test::Cmd;
using test::DiffText;

const std::string kOld = "0123456789";
const std::string kNew = "01XY456789Z";

// The worked example of the format: one delta block and the end block.
std::string WorkedExample() {
  return DiffText().Delta(kOld, kNew, "XYZ", {{2, 1, 1}, {6, 5, 5}, {0, 1, 12}}).End().Str();
}

// Decodes with forward-only source and target; returns the target's content.
std::string Decode(const std::string& diff, const std::string& source) {
  test::TextStream d(diff);
  test::ForwardOnlyStream s(source), t;
  ApplyDiffStream(d, s, t);
  return t.ToString();
}

// Expects the decode to fail with the format's check and returns what had
// been written before the failure.
std::string DecodeRejected(const std::string& diff, const std::string& source) {
  test::TextStream d(diff), s(source), t;
  try {
    ApplyDiffStream(d, s, t);
    ADD_FAILURE() << "decode succeeded";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "CRC Error");
  }
  return t.ToString();
}

// A difference applied to an old file, and the target written (before the
// failure, for a rejected one).
struct Row {
  const char* what;
  std::string diff, source, target;
};

TEST(DiffDecoder, RebuildsTheTargetByTheFormatsRules) {
  ASSERT_EQ(WorkedExample().size(), 63u);
  // Trailing literals need a final copy of length 0; without it they are
  // dropped, and a command length of 25 holds two commands.
  DiffText dropped;
  dropped.U32(2).Bytes("\1").U32(test::Crc("xyxy")).U32(test::Crc("xy")).U32(2).U32(25).Bytes("ab");
  dropped.Bytes(test::Commands({{2, 1, 1}, {2, 1, 3}})).Bytes("12345").End();
  const Row rows[] = {
      {"the worked example", WorkedExample(), kOld, kNew},
      {"a stored block needs no source; what follows the end block is not read",
       DiffText().Stored("a").End().Stored("ignored").Str(), "", "a"},
      {"source positions count within the block's own chunk",
       DiffText().Stored("S", 3).Delta("defg", "defgd", "", {{4, 1, 1}, {1, 1, 5}}).End().Str(),
       "abcdefgh", "Sdefgd"},
      {"literals before the first copy",
       DiffText().Delta("xy", "abcdxy", "abcd", {{2, 1, 5}}).End().Str(), "xy", "abcdxy"},
      {"trailing literals with a final copy of length 0",
       DiffText().Delta("xy", "xyab", "ab", {{2, 1, 1}, {0, 1, 5}}).End().Str(), "xy", "xyab"},
      {"trailing literals without one", dropped.Str(), "xy", "xyxy"},
      {"no commands: an empty chunk, which still checks its source",
       DiffText().Delta("xy", "", "zz", {}).End().Str(), "xy", ""},
      // "XYZ" and "a" fill positions 1 to 4; target position 3 moves the
      // output cursor back to 3 and the literal cursor back to 2, "b"
      // overwrites "Z", and the next gap takes "Y" a second time.
      {"a backward target position moves both cursors back",
       DiffText().Delta("abcdef", "XYbY", "XYZ", {{1, 1, 4}, {1, 2, 3}, {0, 1, 5}}).End().Str(),
       "abcdef", "XYbY"},
      {"a move back without a later copy shortens the chunk",
       DiffText().Delta("abc", "a", "", {{3, 1, 1}, {0, 1, 2}}).End().Str(), "abc", "a"},
      {"a copy of length 0 reads nothing, whatever its source position",
       DiffText().Delta("", "ab", "ab", {{0, 0, 3}}).End().Str(), "", "ab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Decode(row.diff, row.source), row.target);
  }
  test::TextStream diff(DiffText().Stored("hello").End().Str()), source("untouched"), target;
  ApplyDiffStream(diff, source, target);
  EXPECT_EQ(source.Position(), 0);
}

// Every check fails before its block is written. A difference that is only
// its end block checks nothing: applied, it would empty whatever file it
// met, which is what a damaged element may hold.
TEST(DiffDecoder, RejectsUncheckedAndDamagedBlocksBeforeWritingThem) {
  const uint32_t over = diff::kChunkSize + 1;
  std::string first = DiffText().Stored("first").Str();
  std::string damaged = DiffText().Stored("second").End().Str();
  damaged[13] ^= 1;
  std::string wrongChunk = WorkedExample();
  wrongChunk[26] = 2;  // the first copy takes "12" instead of "01"
  std::string kind2 = WorkedExample(), kindFF = WorkedExample();
  kind2[4] = '\2';
  kindFF[4] = '\xFF';
  auto deltaLengths = [&](uint32_t literals, uint32_t commands) {
    return DiffText().U32(0).Bytes("\1").U32(0).U32(0).U32(literals).U32(commands).Str() +
           std::string(over, '\0');
  };
  const Row rows[] = {
      {"only an end block", DiffText().End().Str(), "installed", ""},
      {"an end block first", DiffText().End().Stored("x").End().Str(), "", ""},
      // The old file differs only where no copy reads, so the chunk would
      // still pass its target CRC.
      {"another old file", first + WorkedExample(), "01ab456789", "first"},
      {"damaged stored data", first + damaged, "", "first"},
      {"a damaged command", first + wrongChunk, kOld, "first"},
      {"block kind 2", first + kind2, kOld, "first"},
      {"block kind 0xFF", first + kindFF, kOld, "first"},
      {"a source length past the buffer, before any source byte is read",
       DiffText().U32(over).Str(), std::string(over, 'x'), ""},
      {"a stored length past the buffer",
       DiffText().U32(0).Bytes(std::string(1, '\0')).U32(over).Str(), "", ""},
      {"a literal length past the buffer", deltaLengths(over, 0), "", ""},
      {"a command length past the buffer", deltaLengths(0, over), "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(DecodeRejected(row.diff, row.source), row.target);
  }
}

TEST(DiffDecoder, EveryTruncationOfTheDifferenceOrTheOldFileFails) {
  std::string diff = DiffText().Stored("ab").Str() + WorkedExample();
  for (size_t length = 0; length < diff.size(); ++length) {
    test::TextStream d(diff.substr(0, length)), s(kOld), t;
    EXPECT_THROW(ApplyDiffStream(d, s, t), Exception) << "length " << length;
  }
  // So does an old file shorter than a block's source chunk.
  test::TextStream d(WorkedExample()), s("012345678"), t;
  EXPECT_THROW(ApplyDiffStream(d, s, t), EReadError);
  EXPECT_EQ(t.Size(), 0);
}

TEST(DiffDecoder, CommandsReachingOutsideTheirBuffersAreRejected) {
  // A first block leaves "0123456789" in the source buffer and "LMNOPQRSTU"
  // in the data buffer; the block under test then reads the source chunk
  // "abcdef" and its own literals over them. Where a decoder without bounds
  // checks would rebuild a predictable chunk from those stale bytes, the
  // target CRC is that chunk's, so only the bounds check can refuse it.
  struct Case {
    const char* what;
    std::string literals;
    std::vector<Cmd> commands;
    std::string staleResult;
  };
  std::vector<Case> cases = {
      {"copy beyond the source chunk", "", {{3, 5, 1}}, "ef6"},
      {"copy from source position 0", "", {{1, 0, 1}}, ""},
      {"copy from a huge source position", "", {{1, 0xFFFFFFFF, 1}}, ""},
      {"target position 0", "", {{1, 1, 0}}, ""},
      {"gap taken from before the literal data", "", {{2, 1, 1}, {0, 1, 1}, {0, 1, 2}}, ""},
      {"gap beyond the literal data", "ab", {{1, 1, 4}}, "abNa"},
      {"copy ending beyond the target chunk",
       std::string(diff::kChunkSize, 'l'),
       {{2, 1, diff::kChunkSize}},
       ""},
      {"gap beyond the target chunk", "", {{0, 1, 0xFFFFFFFF}}, ""},
  };
  for (const Case& c : cases) {
    std::string table;
    for (const Cmd& cmd : c.commands)
      table += test::Commands({cmd});
    DiffText d;
    d.Stored("LMNOPQRSTU", 10).U32(6).Bytes("\1").U32(test::Crc(c.staleResult));
    d.U32(test::Crc("abcdef")).U32(uint32_t(c.literals.size())).U32(uint32_t(table.size()));
    d.Bytes(c.literals).Bytes(table).End();
    EXPECT_EQ(DecodeRejected(d.Str(), "0123456789abcdef"), "LMNOPQRSTU") << c.what;
  }
}

TEST(DiffDecoder, ProgressCountsDifferenceBytesFromPositionZero) {
  std::string prefix = "12345";
  std::string diff = DiffText().Stored("abc").Str() + WorkedExample();
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
