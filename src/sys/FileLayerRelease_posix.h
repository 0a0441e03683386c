// Replaced files let go of on a thread of their own. A rename over a file
// frees the replaced file's blocks when its last reference goes, which on a
// file system that discards freed blocks waits for the device: a writer of
// many replacements holds each replaced file open across its rename and
// hands the descriptor here, so that its renames do not wait for that.
#pragma once

#include "sys/FileLayerResolve_posix.h"

namespace slv2::fs::posix {

// Closes the descriptor soon, on the closing thread (started when first
// needed; what it has not closed when the program ends, the system closes).
void CloseLater(Fd fd);

}  // namespace slv2::fs::posix
