#include "publish/ScratchFolder.h"

#include <random>

#include "publish/PublishError.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2::publish {

TScratchFolder::TScratchFolder() {
  std::string base = TgmFileUtil::GetTempFolder();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = base + Format("slv2pack-%08x", random());
    if (fs::CreateDirectory(candidate)) {
      path_ = candidate;
      interrupt_ = std::make_unique<TRemoveOnInterrupt>(path_);
      return;
    }
    if (fs::LastError() != kErrorAlreadyExists) break;
  }
  throw EPublishError("Cannot create a folder in " + base + ": " +
                      SysErrorMessage(fs::LastError()));
}

TScratchFolder::~TScratchFolder() {
  TgmFileUtil::DeleteTree(path_);
}

}  // namespace slv2::publish
