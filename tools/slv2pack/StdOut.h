// Standard output as a byte sink, untouched by any text-mode translation, so
// that `slv2pack cat` passes stream data through exactly.
#pragma once

#include <cstddef>

namespace slv2::pack {

// Writes everything or returns false.
bool WriteStdOut(const void* data, size_t size);

}  // namespace slv2::pack
