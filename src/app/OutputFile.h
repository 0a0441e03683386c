// The files the administrator names on the command line (--log, --report):
// they often lie where pupils may write, so a link there must not take the
// root's writes elsewhere.
#pragma once

#include <string>

namespace slv2 {

// The report's name for standard output.
inline constexpr const char* kStandardOutput = "-";

// False with `error` set when a link on the way to `file` (a full path,
// program text), the file itself included, lies in a folder that users
// other than its owner may write. Links elsewhere (an administrator's) are
// followed and their targets checked the same way.
bool CheckOutputPath(const std::string& file, std::string& error);

// Whether `file` names a device or a FIFO: such a file is written into,
// never replaced.
bool IsStreamFile(const std::string& file);
// Writes `text` into a device or FIFO; false with LastError() set.
bool WriteToStreamFile(const std::string& file, const std::string& text);

}  // namespace slv2
