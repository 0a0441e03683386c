#include "app/RunReport.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "app/OutputFile.h"
#include "storage/FileUtil.h"
#include "storage/gmStrmUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/Format.h"
#include "sys/WinError.h"
#include "updater/Slv2TempFile.h"

namespace slv2 {

namespace {

using Json = nlohmann::ordered_json;

Json Text(const std::string& programText) {
  return AnsiToUtf8(programText);
}

Json OutcomeJson(const TSlv2Outcome& outcome) {
  Json json = {{"kind", OutcomeKindName(outcome.kind)}, {"target", Text(outcome.target)}};
  if (!outcome.detail.empty()) json["detail"] = Text(outcome.detail);
  if (!outcome.installedVersion.empty()) json["installedVersion"] = outcome.installedVersion;
  if (!outcome.newVersion.empty()) json["newVersion"] = outcome.newVersion;
  if (outcome.count >= 0) json["count"] = outcome.count;
  if (!outcome.values.empty()) {
    Json& values = json["values"] = Json::array();
    for (const std::string& value : outcome.values)
      values.push_back(Text(value));
  }
  json["ok"] = outcome.failure.empty();
  if (!outcome.failure.empty()) json["failure"] = Text(outcome.failure);
  return json;
}

Json ProductJson(const TProductReport& product) {
  Json json = {{"id", product.id},
               {"name", Text(product.name)},
               {"storage", {{"file", Text(product.storageFile)}, {"size", product.storageSize}}},
               {"result", product.result}};
  if (product.result == "error") {
    json["error"] = {{"class", product.errorClass}, {"message", Text(product.message)}};
  } else if (product.result == "skipped") {
    json["reason"] = Text(product.message);
  }
  std::map<std::string, int> counts;
  Json outcomes = Json::array();
  for (const TSlv2Outcome& outcome : product.outcomes) {
    ++counts[OutcomeKindName(outcome.kind)];
    if (!outcome.failure.empty()) ++counts["failed"];
    outcomes.push_back(OutcomeJson(outcome));
  }
  if (!product.key.empty()) json["key"] = product.key;
  if (!product.storageSha256.empty()) json["storage"]["sha256"] = product.storageSha256;
  if (!product.versionBefore.empty()) json["versionBefore"] = Text(product.versionBefore);
  if (!product.versionAfter.empty()) json["versionAfter"] = Text(product.versionAfter);
  json["counts"] = counts;
  json["outcomes"] = std::move(outcomes);
  Json& lines = json["errorLines"] = Json::array();
  for (const std::string& line : product.errorLines)
    lines.push_back(Text(line));
  Json& warnings = json["warnings"] = Json::array();
  for (const std::string& line : product.warnings)
    warnings.push_back(Text(line));
  return json;
}

}  // namespace

std::string UtcTimeNow() {
  using namespace std::chrono;
  auto now = floor<seconds>(system_clock::now());
  auto day = floor<days>(now);
  year_month_day date{day};
  hh_mm_ss time{now - day};
  return Format("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
}

std::string RunReportJson(const TRunReport& report) {
  Json products = Json::array();
  for (const TProductReport& product : report.products)
    products.push_back(ProductJson(product));
  Json json = {{"program", "slv2update"},        {"version", report.programVersion},
               {"host", Text(report.host)},      {"user", Text(report.user)},
               {"start", report.startTime},      {"end", report.endTime},
               {"dryRun", report.dryRun},        {"exitStatus", report.exitStatus},
               {"products", std::move(products)}};
  if (!report.reason.empty()) json["reason"] = Text(report.reason);
  // Bytes that are not UTF-8 cannot come from program text; replaced, they
  // would still not cost the administrator the report.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteRunReport(const TRunReport& report, const std::string& fileName) {
  std::string text = RunReportJson(report);
  if (fileName == kStandardOutput) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
  }
  // A device or FIFO (a pipe to a collector, /dev/null) is written into:
  // renaming over it would replace the machine's node with a file.
  TOutputFile output(fileName);
  if (!output.Refusal().empty() || output.Error() != 0) {
    fs::SetLastError(output.Error() != 0 ? output.Error() : kErrorStoppedOnSymlink);
    return false;
  }
  if (output.IsStream()) {
    fs::FileHandle stream = output.OpenStream();
    return stream.Valid() && stream.Write(text.data(), text.size());
  }
  try {
    TSlv2TempFile temp(TgmFileUtil::ExtractFilePath(output.Path()));
    if (!WriteStringToFile(temp.Name(), text) ||
        !fs::ReplaceFileContent(temp.Name(), output.Path())) {
      return false;
    }
    temp.Forget();
    return true;
  } catch (const std::exception&) {
    return false;  // no temporary file beside it: LastError says why
  }
}

}  // namespace slv2
