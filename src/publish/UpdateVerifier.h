// The proof that an update storage turns an installed OLD release into NEW:
// OLD is copied into a scratch folder, the family is laid out in a scratch
// registry with the product and the shell folder there, the updater core
// runs the storage as the product, and the result is compared with NEW file
// by file (names ignoring case, contents byte for byte; folders are not
// compared).
#pragma once

#include <set>
#include <string>
#include <vector>

namespace slv2::publish {

struct TVerifyOptions {
  // The product the storage is for: its registry subkey and ${PRODUCT_ID}.
  std::string productId;
  // Files the updater is to leave as OLD has them, as FileKey("<part>/<path>").
  std::set<std::string> kept;
  bool followLinks = false;  // the releases are read as make read them
};

struct TVerifyResult {
  // One line per difference ("missing: ", "extra: " or "differs: " with
  // "<part>/<path>") and per error line of the updater's log ("updater: ").
  std::vector<std::string> problems;
  size_t equalFiles = 0;
  // "<part>/<path>" of the files left as OLD has them, as asked.
  std::vector<std::string> keptFiles;
  // The storage's registry scripts were not run: the registry editor would
  // import them into the machine's registry.
  bool registryScriptsSkipped = false;
};

// Raises EPublishError when a release cannot be read or the scratch run
// cannot be set up; what the updater does wrong is in the result.
TVerifyResult VerifyUpdate(const std::string& oldDir, const std::string& newDir,
                           const std::string& storageFile, const TVerifyOptions& options);

}  // namespace slv2::publish
