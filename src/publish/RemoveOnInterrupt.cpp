#include "publish/RemoveOnInterrupt.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "storage/FileUtil.h"
#include "sys/FileLayer.h"

namespace slv2::publish {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::string>& Paths() {
  static std::vector<std::string> paths;
  return paths;
}

}  // namespace

TRemoveOnInterrupt::TRemoveOnInterrupt(std::string path) : path_(std::move(path)) {
  std::lock_guard<std::mutex> hold(Lock());
  Paths().push_back(path_);
}

TRemoveOnInterrupt::~TRemoveOnInterrupt() {
  std::lock_guard<std::mutex> hold(Lock());
  auto& paths = Paths();
  auto found = std::find(paths.begin(), paths.end(), path_);
  if (found != paths.end()) paths.erase(found);
}

void RemoveRegisteredPaths() {
  // Held until the process ends: nothing new is registered meanwhile.
  Lock().lock();
  for (const std::string& path : Paths()) {
    if (TgmFileUtil::DirectoryExists(path)) {
      TgmFileUtil::DeleteTree(path);
    } else {
      fs::DeleteFile(path);
    }
  }
}

}  // namespace slv2::publish
