#include "app/ReportFacts.h"

#include "products/Slv2Catalogue.h"
#include "storage/FileUtil.h"
#include "sys/Exception.h"
#include "sys/Sha256.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

// The "Version" value of the product's key, "" when the registry does not
// tell it.
std::string RegistryVersion(const std::string& productId) {
  try {
    reg::HKey root;
    std::string key;
    if (!TSlv2Helper::FindProductKey(productId, root, key)) return {};
    return RegReadStringDef(root, key, "Version", "");
  } catch (const std::exception&) {
    return {};  // a value of another kind tells no version either
  }
}

}  // namespace

std::string ReportKey(const TSlv2UpdaterClass& type) {
  if (type.IsShellFinish()) return type.GetProductId() + "-finish";
  const std::string& storage = type.GetStorageName();
  return storage.empty() ? type.GetProductId() : storage;
}

void DescribeProduct(const TSlv2UpdaterClass& type, TProductReport& product) {
  product.key = ReportKey(type);
  product.storageSha256 = FileSha256(product.storageFile);
  product.versionBefore = RegistryVersion(product.id);
}

void RecordVersionsAfter(TRunReport& report) {
  if (report.dryRun) return;
  for (TProductReport& product : report.products)
    product.versionAfter = RegistryVersion(product.id);
}

std::string NothingToUpdateReason(const std::vector<const TSlv2UpdaterClass*>& catalogue,
                                  const std::string& packageFolder) {
  std::string installed;
  try {
    for (const TSlv2UpdaterClass* type : catalogue) {
      if (type->IsShellFinish() || !TSlv2Helper::IsProductInstalled(type->GetProductId())) {
        continue;
      }
      if (!installed.empty()) installed += ", ";
      installed += TgmFileUtil::ExtractFileName(UpdaterStorageFile(*type, packageFolder), true);
    }
  } catch (const std::exception& e) {
    return "the registry could not be read: " + ExceptionMessage(e);
  }
  if (installed.empty()) return "no product of the family is installed on this machine";
  return "no update storage of an installed product in " + packageFolder + " (looked for " +
         installed + ")";
}

}  // namespace slv2
