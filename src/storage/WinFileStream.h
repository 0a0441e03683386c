// TWinFileStream: a file stream whose opening is retried while another
// process holds the file (access denied, sharing or lock violation).
#pragma once

#include <cstdint>
#include <string>

#include "storage/Stream.h"

namespace slv2 {

class TWinFileStream : public THandleStream {
 public:
  // Opens `fileName` with Windows access, share and disposition values, making
  // up to `attempts` attempts `delayMs` apart. Raises EFileOpenError with
  // "Cannot create file %s: %s" or "Cannot open file %s: %s".
  TWinFileStream(const std::string& fileName, uint32_t access, uint32_t share,
                 uint32_t disposition, int attempts = 1, uint32_t delayMs = 0);
};

}  // namespace slv2
