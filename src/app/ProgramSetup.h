// What the program entry sets up before a session starts: the package
// folder, the report's file and the diagnostic log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/LogFileAppender.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

// The folder of the update storages as program text: the given folder (UTF-8,
// made absolute), or the folder of the running executable when none is
// given. False with `error` set when the given folder does not exist.
bool ResolvePackageFolder(const std::string& utf8Dir, std::string& folder, std::string& error);

// The report's file as a full path in program text, so that it is written
// beside itself wherever the run is ("-": standard output); false with
// `error` set when its folder does not exist or a link on its way lies
// where others may write (a run that cannot report is not started).
bool ResolveReportFile(const std::string& utf8File, std::string& file, std::string& error);
// False with `error` set when a link on the way to the log lies where
// others may write.
bool CheckLogFile(const std::string& utf8File, std::string& error);

// Appends the detailed log of every updater type (their categories, at
// DEBUG) to the file (UTF-8 name), after a line that marks the run's start,
// and returns the appender attached to them. Without this call nothing is
// configured. nullptr with `error` set when the file cannot be opened or
// does not take that first line (a full disk): the log would be lost.
std::shared_ptr<TLogFileAppender> AttachDiagnosticLog(
    const std::string& utf8File, const std::vector<const TSlv2UpdaterClass*>& catalogue,
    std::string& error);

}  // namespace slv2
