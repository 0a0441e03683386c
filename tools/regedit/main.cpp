// regedit: the registry editor's command line on Linux, acting on the same
// registry store as the program ("regedit.exe /s FILE" imports a script).
//
//   regedit /s FILE...        imports registry scripts silently
//   regedit /e FILE [KEY]     exports KEY (or the whole registry) to FILE
//   regedit /?                prints this usage
#include <cstdio>
#include <string>
#include <vector>

#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/WinError.h"
#include "sys/registry/RegApi.h"
#include "sys/registry/RegExport.h"
#include "sys/registry/RegScript.h"
#include "sys/registry/RegScriptFile.h"

namespace {

using namespace slv2;

constexpr const char* kUsage =
    "usage: regedit /s FILE...      import registry scripts (REGEDIT4 or version 5.00)\n"
    "       regedit /e FILE [KEY]   export KEY, or the whole registry, as a version 5.00 script\n"
    "       regedit /?              show this usage\n";

bool IsSwitch(const std::string& arg, char letter) {
  return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') &&
         (arg[1] == letter || arg[1] == letter - 'a' + 'A');
}

// Reports a failure on one file; the program text goes to the terminal as UTF-8.
int Fail(const std::string& file, const std::string& what) {
  std::fprintf(stderr, "regedit: %s: %s\n", AnsiToUtf8(file).c_str(), what.c_str());
  return 1;
}

int Export(const std::string& file, const std::string* key) {
  std::vector<std::pair<reg::HKey, std::u16string>> trees;
  if (key) {
    std::u16string path = AnsiToUtf16(*key);
    size_t slash = path.find(u'\\');
    reg::HKey root;
    if (!reg::ParseRootName(path.substr(0, slash), &root)) {
      return Fail(file, "\"" + AnsiToUtf8(*key) + "\" does not begin with a root key");
    }
    path = slash == std::u16string::npos ? u"" : path.substr(slash + 1);
    while (!path.empty() && path.back() == u'\\')
      path.pop_back();
    trees.emplace_back(root, path);
  } else {
    for (reg::HKey root :
         {reg::kHkeyLocalMachine, reg::kHkeyCurrentUser, reg::kHkeyClassesRoot, reg::kHkeyUsers}) {
      trees.emplace_back(root, u"");
    }
  }
  std::u16string body;
  {
    // One snapshot of the registry, whatever other processes change meanwhile;
    // a read, which never waits for a writer.
    reg::Transaction snapshot;
    uint32_t rc = snapshot.Begin(false);
    for (size_t i = 0; rc == kErrorSuccess && i < trees.size(); ++i) {
      rc = reg::ExportRegKey(trees[i].first, trees[i].second, &body);
    }
    if (rc != kErrorSuccess) return Fail(file, "not exported: " + SysErrorMessage(rc));
  }
  // Written beside the target and renamed over it, so that a failure never
  // leaves half a script.
  std::string folder = file.substr(0, file.find_last_of("\\/") + 1);
  std::string temp = fs::GetTempFileName(folder.empty() ? "." : folder, "reg");
  if (temp.empty()) return Fail(file, SysErrorMessage(fs::LastError()));
  std::string bytes = reg::RegScriptFileBytes(body);
  fs::FileHandle out = fs::FileHandle::Open(temp, fs::kGenericWrite, 0, fs::kCreateAlways);
  bool written = out.Valid() && out.Write(bytes.data(), bytes.size()) && out.Flush();
  out.Close();
  if (!written || !fs::ReplaceFileContent(temp, file)) {
    uint32_t error = fs::LastError();
    fs::DeleteFile(temp);
    return Fail(file, SysErrorMessage(error));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Utf8ToAnsi(argv[i]));
  if (args.size() == 1 && (args[0] == "/?" || args[0] == "-?")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() >= 2 && IsSwitch(args[0], 's')) {
    int status = 0;
    for (size_t i = 1; i < args.size(); ++i)
      status |= reg::ImportRegScriptFileReporting(args[i]) ? 0 : 1;
    return status;
  }
  if ((args.size() == 2 || args.size() == 3) && IsSwitch(args[0], 'e')) {
    return Export(args[1], args.size() == 3 ? &args[2] : nullptr);
  }
  std::fputs(kUsage, stderr);
  return 2;
}
