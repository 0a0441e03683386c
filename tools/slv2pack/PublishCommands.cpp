#include "PublishCommands.h"

#include <algorithm>
#include <cstdio>

#include "Command.h"
#include "StdOut.h"
#include "storage/FileUtil.h"

namespace slv2::pack {

bool TArguments::Has(const std::string& name) const {
  return std::any_of(given.begin(), given.end(), [&](const auto& g) { return g.first == name; });
}

std::string TArguments::Value(const std::string& name) const {
  for (const auto& [option, value] : given) {
    if (option == name) return value;
  }
  return {};
}

bool ParsePublishArguments(const std::vector<std::string>& args,
                           const std::vector<std::string>& options, size_t positionalCount,
                           TArguments* parsed) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (!args[i].starts_with("--")) {
      parsed->positional.push_back(args[i]);
    } else if (std::find(options.begin(), options.end(), args[i]) != options.end()) {
      parsed->given.emplace_back(args[i], "");
    } else if (std::find(options.begin(), options.end(), args[i] + "=") == options.end()) {
      parsed->problem = "unknown option " + args[i];
      return false;
    } else if (i + 1 < args.size()) {
      parsed->given.emplace_back(args[i], args[i + 1]);
      ++i;
    } else {
      parsed->problem = args[i] + " needs a value";
      return false;
    }
  }
  if (parsed->positional.size() == positionalCount) return true;
  parsed->problem = std::to_string(positionalCount) + " arguments expected, " +
                    std::to_string(parsed->positional.size()) + " given";
  return false;
}

int ArgumentError(const char* name, const TArguments& parsed) {
  std::fprintf(stderr, "slv2pack: %s: %s\n", name, ToTerminal(parsed.problem).c_str());
  return UsageError(name);
}

std::string DefaultProductId(const std::string& storageFile) {
  return TgmFileUtil::ExtractFileName(storageFile, false);
}

int ReportVerification(const publish::TVerifyResult& result, const std::string& productId) {
  for (const std::string& problem : result.problems)
    std::printf("%s\n", ToTerminal(problem).c_str());
  for (const std::string& kept : result.keptFiles)
    std::printf("kept: %s (the installed file stays as OLD has it)\n", ToTerminal(kept).c_str());
  if (result.registryScriptsSkipped) {
    std::printf(
        "verify: registry scripts not run: here they would reach this machine's registry\n");
  }
  if (!result.problems.empty()) {
    std::printf("verify: FAILED as product %s: %zu problems, %zu files equal\n",
                ToTerminal(productId).c_str(), result.problems.size(), result.equalFiles);
    return 1;
  }
  if (!result.keptFiles.empty()) {
    std::printf(
        "verify: OK as product %s: the update turns OLD into NEW but for %zu kept files, %zu "
        "files equal\n",
        ToTerminal(productId).c_str(), result.keptFiles.size(), result.equalFiles);
    return 0;
  }
  std::printf("verify: OK as product %s: the update turns OLD into NEW, %zu files equal\n",
              ToTerminal(productId).c_str(), result.equalFiles);
  return 0;
}

}  // namespace slv2::pack
