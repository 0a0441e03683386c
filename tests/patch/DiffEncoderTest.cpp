#include <gtest/gtest.h>

#include <random>

#include "DiffTestSupport.h"
#include "patch/DiffDecoder.h"
#include "patch/DiffEncoder.h"

namespace slv2 {
namespace {

constexpr size_t kMiB = 1 << 20;

std::string Encode(const std::string& oldData, const std::string& newData,
                   TDiffEncoderOptions options = {}) {
  // Forward-only inputs: the encoder must never seek them.
  test::ForwardOnlyStream oldStream(oldData), newStream(newData);
  TMemoryStream diff;
  CreateDiffStream(oldStream, newStream, diff, options);
  return diff.ToString();
}

// Encodes, decodes, and expects the new data back; returns the difference.
std::string RoundTrip(const std::string& oldData, const std::string& newData,
                      TDiffEncoderOptions options = {}) {
  std::string diff = Encode(oldData, newData, options);
  test::TextStream d(diff), s(oldData);
  TMemoryStream t;
  ApplyDiffStream(d, s, t);
  EXPECT_EQ(t.Size(), int64_t(newData.size()));
  EXPECT_TRUE(t.ToString() == newData) << "rebuilt data differs";
  return diff;
}

// An edit script applied to `data`: moves `length` bytes at `from` to `to`
// (an offset in the data without them).
std::string Move(std::string data, size_t from, size_t length, size_t to) {
  std::string piece = data.substr(from, length);
  data.erase(from, length);
  return data.insert(to, piece);
}

TEST(DiffEncoder, EmptyFilesOnEitherSide) {
  EXPECT_EQ(RoundTrip("", ""), std::string(9, '\0'));
  EXPECT_EQ(RoundTrip("old content", ""), std::string(9, '\0'));
  std::string fresh = test::RandomBytes(3 * kMiB, 1);
  // All new: stored blocks of at most a chunk each.
  EXPECT_EQ(RoundTrip("", fresh).size(), fresh.size() + 2 * 13 + 9);
}

TEST(DiffEncoder, UnrelatedDataIsStoredWhole) {
  std::string oldData = test::RandomBytes(kMiB, 3), newData = test::RandomBytes(kMiB, 4);
  EXPECT_EQ(RoundTrip(oldData, newData).size(), newData.size() + 13 + 9);
}

TEST(DiffEncoder, FollowsInsertionsDeletionsAndMovesAcrossChunkBoundaries) {
  std::string oldData = test::RandomBytes(9 * kMiB, 5);
  std::string newData = oldData;
  newData.insert(2 * kMiB - 500, test::RandomBytes(1000, 6));   // across the first boundary
  newData.erase(4 * kMiB, 300000);                              // deletion at a boundary
  newData = Move(newData, 6 * kMiB - 50000, 100000, 5 * kMiB);  // moved backwards
  newData.insert(0, "a short insertion at the very start");
  std::string diff = RoundTrip(oldData, newData);
  EXPECT_LT(diff.size(), 10000u);
}

TEST(DiffEncoder, AdaptiveBlocksBeatFixedChunksWhenContentShifts) {
  std::string oldData = test::RandomBytes(6 * kMiB, 7);
  // An insertion near the start shifts everything behind it by a third of a
  // chunk; a deletion of more than a chunk later shifts it back.
  std::string newData = oldData;
  newData.insert(1000, test::RandomBytes(700000, 8));
  newData.erase(3 * kMiB, 2 * kMiB + 100);
  std::string adaptive = RoundTrip(oldData, newData);
  std::string fixed = RoundTrip(oldData, newData, {TDiffAlignment::kFixed});
  EXPECT_LT(adaptive.size(), 700000u + 2000u);
  EXPECT_GT(fixed.size(), 2 * adaptive.size());
}

TEST(DiffEncoder, ContentBeyondTheLookaheadIsStillRebuilt) {
  // A deletion longer than the encoder looks ahead: the rest cannot be found,
  // but it is still rebuilt correctly from stored blocks.
  std::string oldData = test::RandomBytes(9 * kMiB, 9);
  std::string newData = oldData.substr(0, kMiB) + oldData.substr(8 * kMiB);
  RoundTrip(oldData, newData);
}

// Small chunks make many blocks out of little data, so random edit scripts
// exercise block planning, skips, splits and stored blocks in bulk.
TEST(DiffEncoder, RandomEditScriptsRoundTripWithSmallChunks) {
  std::mt19937 random(10);
  for (int round = 0; round < 40; ++round) {
    std::string oldData = test::RandomBytes(20000 + random() % 150000, random());
    if (round % 3 == 0) {
      // Repetitive text-like data gives many candidate matches.
      for (char& c : oldData)
        c = "abc \n"[uint8_t(c) % 5];
    }
    std::string newData = oldData;
    int edits = 1 + int(random() % 12);
    for (int e = 0; e < edits && !newData.empty(); ++e) {
      size_t at = random() % newData.size();
      size_t length = std::min<size_t>(1 + random() % 20000, newData.size() - at);
      switch (random() % 4) {
        case 0:
          newData.insert(at, test::RandomBytes(length, random()));
          break;
        case 1:
          newData.erase(at, length);
          break;
        case 2:
          newData = Move(newData, at, length, random() % (newData.size() - length + 1));
          break;
        default:
          for (size_t i = at; i < at + length; i += 1 + random() % 64)
            newData[i] ^= 0x5A;
      }
    }
    uint32_t chunk = 1024u << (random() % 5);
    SCOPED_TRACE(::testing::Message() << "round " << round << " chunk " << chunk);
    RoundTrip(oldData, newData, {TDiffAlignment::kAdaptive, chunk});
    RoundTrip(oldData, newData, {TDiffAlignment::kFixed, chunk});
  }
}

TEST(DiffEncoder, LargeFilesWithScatteredChangesStayCompact) {
  std::string oldData = test::RandomBytes(12 * kMiB, 11);
  std::string newData = oldData;
  std::mt19937 random(12);
  for (int i = 0; i < 200; ++i)
    newData[random() % newData.size()] ^= 1;
  // Each change costs a command and the changed byte.
  EXPECT_LT(RoundTrip(oldData, newData).size(), 200u * 11 + 3000u);
}

}  // namespace
}  // namespace slv2
