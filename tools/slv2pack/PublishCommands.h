// What slv2pack make and verify share: their arguments and the report of a
// verification.
#pragma once

#include <string>
#include <vector>

#include "publish/UpdateVerifier.h"

namespace slv2::pack {

// Positional arguments and the "--name" switches and options of a command,
// taken in any order. Each entry of `options` is "--name" for a switch or
// "--name=" for an option with a value (the next argument).
struct TArguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> given;  // name, value ("" for a switch)
  std::string problem;                                     // why the arguments were refused

  bool Has(const std::string& name) const;
  std::string Value(const std::string& name) const;
};
// False, with the problem named, for an unknown name, a missing value or
// another number of positional arguments.
bool ParsePublishArguments(const std::vector<std::string>& args,
                           const std::vector<std::string>& options, size_t positionalCount,
                           TArguments* parsed);

// Names the problem of the arguments, then the command's usage; gives 2.
int ArgumentError(const char* name, const TArguments& parsed);

// The product a storage is for unless one is named: the storage's file name
// without its extension, which is the product identifier.
std::string DefaultProductId(const std::string& storageFile);

// Prints the verification's lines and its outcome; 0 when the update turns
// OLD into NEW, else 1.
int ReportVerification(const publish::TVerifyResult& result, const std::string& productId);

}  // namespace slv2::pack
