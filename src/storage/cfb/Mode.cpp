#include "storage/cfb/Mode.h"

#include "sys/FileLayer.h"

namespace slv2::cfb {

namespace {

constexpr uint32_t kNoScratch = 0x100000;
constexpr uint32_t kNoSnapshot = 0x200000;
constexpr uint32_t kDirectSwmr = 0x400000;
constexpr uint32_t kSimple = 0x8000000;
constexpr uint32_t kUnsupported = stg::kStgmTransacted | stg::kStgmPriority | stg::kStgmConvert |
                                  stg::kStgmDeleteOnRelease | kNoScratch | kNoSnapshot |
                                  kDirectSwmr | kSimple;
constexpr uint32_t kKnown = 3 | stg::kStgmShareMask | stg::kStgmCreate | kUnsupported;

}  // namespace

stg::HRESULT CheckMode(uint32_t mode, ModeUse use) {
  uint32_t access = mode & 3;
  uint32_t share = mode & stg::kStgmShareMask;
  if ((mode & ~kKnown) || access == 3 || share > stg::kStgmShareDenyNone)
    return stg::kStgEInvalidFlag;
  if (mode & kUnsupported) return stg::kStgEInvalidFlag;
  bool creating = use == ModeUse::kCreateRoot || use == ModeUse::kCreateElement;
  if (!creating && (mode & stg::kStgmCreate)) return stg::kStgEInvalidFlag;
  if (use == ModeUse::kCreateElement || use == ModeUse::kOpenElement) {
    return share == stg::kStgmShareExclusive ? stg::kS_OK : stg::kStgEInvalidFunction;
  }
  if (use == ModeUse::kCreateRoot && !CanWrite(mode)) return stg::kStgEInvalidFlag;
  // Direct-mode writers must keep other writers out.
  bool othersMayWrite = share != stg::kStgmShareExclusive && share != stg::kStgmShareDenyWrite;
  if (CanWrite(mode) && othersMayWrite) return stg::kStgEInvalidFlag;
  return stg::kS_OK;
}

uint32_t FileAccess(uint32_t mode) {
  // Writers read too (the engine reads its tables back).
  return CanWrite(mode) ? fs::kGenericRead | fs::kGenericWrite : fs::kGenericRead;
}

uint32_t FileShare(uint32_t mode) {
  switch (mode & stg::kStgmShareMask) {
    case stg::kStgmShareExclusive:
      return 0;
    case stg::kStgmShareDenyWrite:
      return fs::kShareRead;
    case stg::kStgmShareDenyRead:
      return fs::kShareWrite;
    default:
      return fs::kShareRead | fs::kShareWrite;
  }
}

}  // namespace slv2::cfb
