// The run's outcome for the tools that update many machines: one JSON
// document (its schema: docs/report.schema.json) with the program, the
// machine, the times, whether it was a dry run, the exit status, and per
// product its storage, its result, what its steps did (or would do) and the
// error lines of its log. Texts are program text here and UTF-8 in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/Slv2Outcome.h"

namespace slv2 {

struct TProductReport {
  std::string id;
  std::string name;
  std::string storageFile;
  int64_t storageSize = -1;  // -1: unknown
  std::string result;        // "ok", "error" or "skipped"
  std::string errorClass;    // error: the exception's class
  std::string message;       // error: its message; skipped: the reason
  std::vector<TSlv2Outcome> outcomes;
  std::vector<std::string> errorLines;
  std::string key;            // unique per updater (ReportFacts.h)
  std::string storageSha256;  // "": unknown
  std::string versionBefore;  // the registry's, "" when it tells none
  std::string versionAfter;
  // Conditions that left nothing undone (TSlv2Updater::Warning).
  std::vector<std::string> warnings;
};

struct TRunReport {
  std::string programVersion;
  std::string host;
  std::string user;
  std::string startTime;  // UTC, "2026-12-07T10:55:00Z"
  std::string endTime;
  bool dryRun = false;
  int exitStatus = 0;
  std::vector<TProductReport> products;
  std::string reason;  // why nothing was to update (exit status 1642)
};

// The present time in UTC, as the report writes it.
std::string UtcTimeNow();

// The document's text.
std::string RunReportJson(const TRunReport& report);

// Writes the document to a temporary file beside `fileName` and renames it
// over that file in one step, so that a reader never sees half a report;
// into standard output for "-", into a device or FIFO as it is. A link on
// the way that lies where others may write is refused. False, with
// fs::LastError() telling why, when it cannot be written.
bool WriteRunReport(const TRunReport& report, const std::string& fileName);

}  // namespace slv2
