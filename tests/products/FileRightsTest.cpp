#include <gtest/gtest.h>

#include "products/FileRights.h"

namespace slv2 {
namespace {

TEST(FileRightsTest, MasksGiveTheRightsWhoseBitsAreAllThere) {
  EXPECT_EQ(TFileRights{frFullControl}.Byte(), 0x40);
  EXPECT_EQ(AccessMaskToRights(0x1F01FF), TFileRights{frFullControl});
  EXPECT_EQ(AccessMaskToRights(0x120089 | 0x1200A0), (TFileRights{frRead, frExecute}));
  EXPECT_EQ(AccessMaskToRights(0x120088), TFileRights{});  // FILE_READ_DATA missing
  EXPECT_EQ(AccessMaskToRights(0x1F01FF | 0x10000000).Byte(), 0x3F);
  EXPECT_EQ(GenericMaskToRights(0x10000000), TFileRights{frFullControl});
  EXPECT_EQ(GenericMaskToRights(0x10000000 | 0x80000000), TFileRights{frRead});
}

TEST(FileRightsTest, RightsGiveMasksWithReadAndWriteCombined) {
  EXPECT_EQ(RightsToAccessMask({frFullControl}), 0x1F01FFu);
  EXPECT_EQ(RightsToAccessMask({frRead, frWrite}), 0x12019Fu);
  EXPECT_EQ(RightsToAccessMask({frWrite}), 0x120116u);
  EXPECT_EQ(RightsToAccessMask({frFullControl, frRead}), 0x120089u);
  EXPECT_EQ(RightsToGenericMask({frFullControl}), 0x10000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frWrite}), 0xC0000000u);
  EXPECT_EQ(RightsToGenericMask({frFullControl, frExecute}), 0x20000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frTakeOwnership}), 0x80080000u);
}

TEST(FileRightsTest, EverySetWithoutFullControlSurvivesBothMasks) {
  for (unsigned bits = 0; bits < 0x40; ++bits) {
    TFileRights rights = TFileRights::FromByte(static_cast<uint8_t>(bits));
    EXPECT_EQ(AccessMaskToRights(RightsToAccessMask(rights)), rights) << bits;
    EXPECT_EQ(GenericMaskToRights(RightsToGenericMask(rights)), rights) << bits;
  }
}

}  // namespace
}  // namespace slv2
