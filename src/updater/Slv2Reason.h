// Why a step failed, in the detailed log: the line the step writes, then the
// system's reason for the failure (a full disk, a read-only folder) on a line
// of its own, indented, when the failure came with one. Both lines travel in
// one log event, so that nothing can come between them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace slv2 {

// The line alone when `systemError` is 0.
std::string WithReason(std::string line, uint32_t systemError);

// "<operation>() failed: <class name> (<message>)", with the reason the
// exception carries.
std::string FailedLine(const char* operation, const std::exception& error);

}  // namespace slv2
