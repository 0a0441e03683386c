#include <gtest/gtest.h>

#include "products/FileRights.h"

namespace slv2 {
namespace {

TEST(FileRightsTest, ElementsAreTheBitsOfOneByte) {
  EXPECT_EQ(TFileRights{frRead}.Byte(), 0x01);
  EXPECT_EQ(TFileRights{frWrite}.Byte(), 0x02);
  EXPECT_EQ(TFileRights{frExecute}.Byte(), 0x04);
  EXPECT_EQ(TFileRights{frDelete}.Byte(), 0x08);
  EXPECT_EQ(TFileRights{frChangePermissions}.Byte(), 0x10);
  EXPECT_EQ(TFileRights{frTakeOwnership}.Byte(), 0x20);
  EXPECT_EQ(TFileRights{frFullControl}.Byte(), 0x40);
  EXPECT_EQ(TFileRights::FromByte(0x05), (TFileRights{frRead, frExecute}));
}

TEST(FileRightsTest, SpecificMasksGiveTheRightsWhoseBitsAreAllThere) {
  EXPECT_EQ(AccessMaskToRights(0x1F01FF), TFileRights{frFullControl});
  // Read & execute of a read-only DACL.
  EXPECT_EQ(AccessMaskToRights(0x120089 | 0x1200A0), (TFileRights{frRead, frExecute}));
  EXPECT_EQ(AccessMaskToRights(0x12019F), (TFileRights{frRead, frWrite}));
  EXPECT_EQ(AccessMaskToRights(0x120116), TFileRights{frWrite});
  EXPECT_EQ(AccessMaskToRights(0x120088), TFileRights{});  // FILE_READ_DATA missing
  EXPECT_EQ(AccessMaskToRights(0xD0000),
            (TFileRights{frDelete, frChangePermissions, frTakeOwnership}));
  // FILE_ALL_ACCESS among other bits is no longer full control.
  EXPECT_EQ(AccessMaskToRights(0x1F01FF | 0x10000000).Byte(), 0x3F);
}

TEST(FileRightsTest, GenericMasksGiveARightPerBit) {
  EXPECT_EQ(GenericMaskToRights(0x10000000), TFileRights{frFullControl});
  EXPECT_EQ(GenericMaskToRights(0xA0000000), (TFileRights{frRead, frExecute}));
  EXPECT_EQ(GenericMaskToRights(0xC0000000), (TFileRights{frRead, frWrite}));
  EXPECT_EQ(GenericMaskToRights(0x10000000 | 0x80000000), TFileRights{frRead});
  EXPECT_EQ(GenericMaskToRights(0x1F01FF),
            (TFileRights{frDelete, frChangePermissions, frTakeOwnership}));
}

TEST(FileRightsTest, RightsGiveSpecificMasksWithReadAndWriteCombined) {
  EXPECT_EQ(RightsToAccessMask({frFullControl}), 0x1F01FFu);
  EXPECT_EQ(RightsToAccessMask({frRead, frWrite}), 0x12019Fu);
  EXPECT_EQ(RightsToAccessMask({frWrite}), 0x120116u);
  EXPECT_EQ(RightsToAccessMask({frFullControl, frRead}), 0x120089u);
  EXPECT_EQ(RightsToAccessMask({frRead, frExecute}), 0x1200A9u);
  EXPECT_EQ(RightsToAccessMask({frDelete, frChangePermissions, frTakeOwnership}), 0xD0000u);
  EXPECT_EQ(RightsToAccessMask({}), 0u);
}

TEST(FileRightsTest, RightsGiveGenericMasksWithReadAndWriteCombined) {
  EXPECT_EQ(RightsToGenericMask({frFullControl}), 0x10000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frWrite}), 0xC0000000u);
  EXPECT_EQ(RightsToGenericMask({frWrite}), 0x40000000u);
  EXPECT_EQ(RightsToGenericMask({frFullControl, frExecute}), 0x20000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frTakeOwnership}), 0x80080000u);
  EXPECT_EQ(RightsToGenericMask({}), 0u);
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
