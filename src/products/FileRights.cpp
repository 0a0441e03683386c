#include "products/FileRights.h"

namespace slv2 {
namespace {

constexpr TFileRights kFullControlOnly{frFullControl};

// The three elements beyond read, write and execute map to the same standard
// rights in both kinds of mask.
struct StandardRight {
  TFileRight right;
  uint32_t mask;
};
constexpr StandardRight kStandardRights[] = {
    {frDelete, kDeleteAccess},
    {frChangePermissions, kWriteDacAccess},
    {frTakeOwnership, kWriteOwnerAccess},
};

TFileRights MaskToRights(uint32_t mask, uint32_t read, uint32_t write, uint32_t execute) {
  TFileRights rights;
  auto add = [&](TFileRight right, uint32_t bits) {
    if ((mask & bits) == bits) rights.Include(right);
  };
  add(frRead, read);
  add(frWrite, write);
  add(frExecute, execute);
  for (const StandardRight& standard : kStandardRights)
    add(standard.right, standard.mask);
  return rights;
}

uint32_t RightsToMask(TFileRights rights, uint32_t read, uint32_t readWrite, uint32_t write,
                      uint32_t execute) {
  uint32_t mask = 0;
  if (rights.Contains(frRead)) mask = read;
  if (rights.Contains(frWrite)) mask = rights.Contains(frRead) ? readWrite : write;
  if (rights.Contains(frExecute)) mask |= execute;
  for (const StandardRight& standard : kStandardRights) {
    if (rights.Contains(standard.right)) mask |= standard.mask;
  }
  return mask;
}

}  // namespace

TFileRights AccessMaskToRights(uint32_t mask) {
  if (mask == kFileAllAccess) return kFullControlOnly;
  return MaskToRights(mask, kFileGenericRead, kFileGenericWrite, kFileGenericExecute);
}

TFileRights GenericMaskToRights(uint32_t mask) {
  if (mask == kGenericAll) return kFullControlOnly;
  return MaskToRights(mask, kGenericRead, kGenericWrite, kGenericExecute);
}

uint32_t RightsToAccessMask(TFileRights rights) {
  if (rights == kFullControlOnly) return kFileAllAccess;
  return RightsToMask(rights, kFileGenericRead, kFileGenericReadWrite, kFileGenericWrite,
                      kFileGenericExecute);
}

uint32_t RightsToGenericMask(TFileRights rights) {
  if (rights == kFullControlOnly) return kGenericAll;
  return RightsToMask(rights, kGenericRead, kGenericRead | kGenericWrite, kGenericWrite,
                      kGenericExecute);
}

}  // namespace slv2
