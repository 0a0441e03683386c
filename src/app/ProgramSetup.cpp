#include "app/ProgramSetup.h"

#include <ctime>

#include "app/OutputFile.h"
#include "log/LogFileAppender.h"
#include "log/LogHierarchy.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {

bool ResolvePackageFolder(const std::string& utf8Dir, std::string& folder, std::string& error) {
  if (utf8Dir.empty()) {
    folder = TgmFileUtil::ExcludeTrailingDelimiters(
        TgmFileUtil::ExtractFilePath(fs::GetModuleFileName()));
    return true;
  }
  std::string given = Utf8ToAnsi(utf8Dir);
  if (!TgmFileUtil::DirectoryExists(given)) {
    error = "not a folder: " + utf8Dir;
    return false;
  }
  folder = TgmFileUtil::ExcludeTrailingDelimiters(fs::GetFullPathName(given));
  // The root folder itself keeps its delimiter.
  if (folder.empty()) folder = fs::GetFullPathName(given);
  return true;
}

bool ResolveReportFile(const std::string& utf8File, std::string& file, std::string& error) {
  if (utf8File == kStandardOutput) {
    file = kStandardOutput;
    return true;
  }
  file = fs::GetFullPathName(Utf8ToAnsi(utf8File));
  if (file.empty() || !TgmFileUtil::DirectoryExists(TgmFileUtil::ExtractFilePath(file))) {
    error = "no folder for the report " + utf8File;
    return false;
  }
  error = TOutputFile(file).Refusal();
  return error.empty();
}

bool CheckLogFile(const std::string& utf8File, std::string& error) {
  error = TOutputFile(fs::GetFullPathName(Utf8ToAnsi(utf8File))).Refusal();
  return error.empty();
}

std::shared_ptr<TLogFileAppender> AttachDiagnosticLog(
    const std::string& utf8File, const std::vector<const TSlv2UpdaterClass*>& catalogue,
    std::string& error) {
  std::string file = fs::GetFullPathName(Utf8ToAnsi(utf8File));
  std::shared_ptr<TLogFileAppender> appender;
  TOutputFile output(file);
  if (!output.Refusal().empty()) {
    fs::SetLastError(kErrorStoppedOnSymlink);
  } else if (output.Error() != 0) {
    fs::SetLastError(output.Error());
  } else if (output.IsStream()) {
    fs::FileHandle stream = output.OpenStream();
    if (stream.Valid()) appender = std::make_shared<TLogFileAppender>(std::move(stream), file);
  } else {
    appender = TLogFileAppender::Open(output.Path(), file);
  }
  if (!appender) {
    error = "cannot open the log " + utf8File + ": " + AnsiToUtf8(SysErrorMessage(fs::LastError()));
    return nullptr;
  }
  std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  if (!appender->WriteLine(std::string("=== slv2update, run started ") + stamp)) {
    error =
        "cannot write the log " + utf8File + ": " + AnsiToUtf8(SysErrorMessage(fs::LastError()));
    return nullptr;
  }
  for (const TSlv2UpdaterClass* type : catalogue) {
    TLogCategory& category = TLogHierarchy::Default().GetCategory(type->ClassName());
    category.SetPriority(&TLogPriority::Debug());
    // Two types of one class name share a category: attach once.
    category.RemoveAppender(appender);
    category.AddAppender(appender);
  }
  return appender;
}

}  // namespace slv2
