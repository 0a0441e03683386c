#include <zlib.h>

#include <random>

#include "DiffTestSupport.h"
#include "patch/DeflateCounter.h"
#include "patch/DiffEncoder.h"

namespace slv2 {
namespace {

constexpr size_t kMiB = 1 << 20;

std::string Encode(const std::string& oldData, const std::string& newData) {
  // Forward-only inputs: the encoder must never seek them.
  test::ForwardOnlyStream oldStream(oldData), newStream(newData);
  TMemoryStream diff;
  CreateDiffStream(oldStream, newStream, diff);
  return diff.ToString();
}

uLongf DeflatedSize(const std::string& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  std::string packed(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), level),
            Z_OK);
  return size;
}

// Encodes, decodes, and expects the new data back; returns the difference.
std::string RoundTrip(const std::string& oldData, const std::string& newData) {
  std::string diff = Encode(oldData, newData);
  test::TextStream d(diff), s(oldData);
  TMemoryStream t;
  ApplyDiffStream(d, s, t);
  EXPECT_TRUE(t.ToString() == newData) << "rebuilt data differs";
  return diff;
}

TEST(DiffEncoder, WhatCannotBeFoundInTheOldFileIsStoredInBlocksOfAtMostAChunk) {
  // An empty new file still checks the old file's first chunk.
  EXPECT_EQ(RoundTrip("old content", ""), test::Delta("old content", "", "", {}) + test::kEndBlock);
  std::string fresh = test::RandomBytes(3 * kMiB, 1);
  EXPECT_EQ(RoundTrip("", fresh).size(), fresh.size() + 2 * 13 + 9);
  EXPECT_EQ(RoundTrip(test::RandomBytes(kMiB, 3), fresh.substr(0, kMiB)).size(), kMiB + 13 + 9);
}

TEST(DiffEncoder, FollowsInsertionsDeletionsAndMovesAcrossChunkBoundaries) {
  std::string oldData = test::RandomBytes(9 * kMiB, 5);
  std::string newData = oldData;
  newData.insert(2 * kMiB - 500, test::RandomBytes(1000, 6));    // across the first boundary
  newData.erase(4 * kMiB, 300000);                               // deletion at a boundary
  std::string moved = newData.substr(6 * kMiB - 50000, 100000);  // moved backwards
  newData.erase(6 * kMiB - 50000, 100000);
  newData.insert(5 * kMiB, moved);
  newData.insert(0, "a short insertion at the very start");
  std::mt19937 random(12);
  for (int i = 0; i < 200; ++i)  // each scattered change costs a command and a byte
    newData[random() % newData.size()] ^= 1;
  EXPECT_LT(RoundTrip(oldData, newData).size(), 10000u + 200 * 11);
  // A deletion longer than the encoder looks ahead: what follows it cannot be
  // found, but is still rebuilt from stored blocks.
  RoundTrip(oldData, oldData.substr(0, kMiB) + oldData.substr(8 * kMiB));
}

TEST(DiffEncoder, BlocksFollowContentThatShiftsByPartsOfAChunk) {
  std::string oldData = test::RandomBytes(6 * kMiB, 7);
  // An insertion near the start shifts everything behind it by a third of a
  // chunk; a deletion of more than a chunk later shifts it back.
  std::string newData = oldData;
  newData.insert(1000, test::RandomBytes(700000, 8));
  newData.erase(3 * kMiB, 2 * kMiB + 100);
  EXPECT_LT(RoundTrip(oldData, newData).size(), 700000u + 2000u);
}

TEST(DiffEncoder, UnchangedStretchesAfterAnInsertionAndADeletionCostLittleStored) {
  // Blocks begin where the old and new positions part, so that their copies
  // have equal source and target positions, and the commands of unchanged
  // stretches repeat from block to block: both compress to next to nothing.
  std::string oldData = test::RandomBytes(8 * kMiB, 5);
  std::string newData = oldData.substr(0, kMiB) + "0123456789" + oldData.substr(kMiB, 4 * kMiB) +
                        oldData.substr(5 * kMiB + 7);
  EXPECT_LT(DeflatedSize(RoundTrip(oldData, newData), 9), 300u);
}

// The encoder weighs candidate blocks by what zlib makes of them.
TEST(DiffEncoder, TheDeflateCounterMeasuresWhatZlibWrites) {
  diff::TDeflateCounter counter;
  for (const std::string& data : {std::string(), std::string("abc"), std::string(300000, 'z'),
                                  test::RandomBytes(200000, 9)}) {
    counter.Reset();
    counter.Put(data.data(), uint32_t(data.size()));
    EXPECT_EQ(counter.Finish(), DeflatedSize(data, 6)) << data.size();
  }
}

// A repeated run meets the difference's result where its source was: that
// file is found up to date, anything else is not.
TEST(DiffResultInPlace, OnlyTheExactResultIsFoundInPlace) {
  std::string oldData = test::RandomBytes(5 * kMiB, 21);
  std::string newData = oldData;
  newData.insert(3 * kMiB, "moved along");  // delta blocks over several chunks
  newData.replace(kMiB, 4, "edit");
  newData += test::RandomBytes(1000, 22);  // and a stored block at the end
  std::string encoded = Encode(oldData, newData), lastByte = newData;
  lastByte.back() ^= 1;
  struct Row {
    const char* what;
    std::string diff, installed;
    bool inPlace;
  };
  for (const Row& row : {
           Row{"the result, several blocks", encoded, newData, true},
           Row{"an empty result", Encode("old", ""), "", true},
           Row{"a byte changed in a stored block", encoded, lastByte, false},
           Row{"one byte more", encoded, newData + "x", false},
           Row{"the last byte missing", encoded, newData.substr(0, newData.size() - 1), false},
           Row{"a truncated difference", encoded.substr(0, 100), newData, false},
       }) {
    SCOPED_TRACE(row.what);
    test::TextStream diff(row.diff), installed(row.installed);
    EXPECT_EQ(DiffResultInPlace(diff, installed), row.inPlace);
  }
}

}  // namespace
}  // namespace slv2
