// Ctrl+C, SIGTERM and SIGHUP (on Windows the console's close and break
// events) end slv2pack at once, after its registered scratch folders and
// unfinished files are removed (publish/RemoveOnInterrupt.h); the exit
// status is 128 plus the signal's number (130 for Ctrl+C).
#pragma once

namespace slv2::pack {

// Once, before any work.
void RemoveScratchOnInterrupt();

}  // namespace slv2::pack
