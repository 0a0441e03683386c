#include "PublishCommands.h"

#include <algorithm>
#include <cstdio>

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
    } else if (std::find(options.begin(), options.end(), args[i] + "=") != options.end() &&
               i + 1 < args.size()) {
      parsed->given.emplace_back(args[i], args[i + 1]);
      ++i;
    } else {
      return false;
    }
  }
  return parsed->positional.size() == positionalCount;
}

std::string DefaultProductId(const std::string& storageFile) {
  return TgmFileUtil::ExtractFileName(storageFile, false);
}

int ReportVerification(const publish::TVerifyResult& result, const std::string& productId) {
  for (const std::string& problem : result.problems)
    std::printf("%s\n", ToTerminal(problem).c_str());
  if (result.registryScriptsSkipped) {
    std::printf(
        "verify: registry scripts not run: here they would reach this machine's registry\n");
  }
  if (!result.problems.empty()) {
    std::printf("verify: FAILED as product %s: %zu problems, %zu files equal\n",
                ToTerminal(productId).c_str(), result.problems.size(), result.equalFiles);
    return 1;
  }
  std::printf("verify: OK as product %s: the update turns OLD into NEW, %zu files equal\n",
              ToTerminal(productId).c_str(), result.equalFiles);
  return 0;
}

}  // namespace slv2::pack
