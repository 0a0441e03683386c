// STGM modes as this engine understands them: direct mode only; a root opened
// for writing must keep other writers out (exclusive or deny-write), nested
// elements are opened exclusively, as on Windows.
#pragma once

#include <cstdint>

#include "storage/StgApi.h"

namespace slv2::cfb {

enum class ModeUse { kCreateRoot, kOpenRoot, kCreateElement, kOpenElement };

// S_OK, STG_E_INVALIDFLAG for values that are not modes or that this engine
// does not support (transacted, priority, convert, delete-on-release,
// simple), STG_E_INVALIDFUNCTION for a nested element not opened exclusively.
stg::HRESULT CheckMode(uint32_t mode, ModeUse use);

inline bool CanRead(uint32_t mode) {
  return (mode & 3) != stg::kStgmWrite;
}
inline bool CanWrite(uint32_t mode) {
  return (mode & 3) != stg::kStgmRead;
}

// The file layer's access and share values for a root's mode.
uint32_t FileAccess(uint32_t mode);
uint32_t FileShare(uint32_t mode);

}  // namespace slv2::cfb
