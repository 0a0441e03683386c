#include "publish/RemoveOnInterrupt.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
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

void (*g_firstRegistration)() = nullptr;

}  // namespace

void BeforeFirstRegistration(void (*hook)()) {
  g_firstRegistration = hook;
}

TRemoveOnInterrupt::TRemoveOnInterrupt(std::string path) : path_(std::move(path)) {
  static std::once_flag first;
  std::call_once(first, [] {
    if (g_firstRegistration) g_firstRegistration();
  });
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
  // The tool's work goes on while its paths are removed and may make a
  // file in a folder just removed: the removal is repeated until passes
  // over some milliseconds find nothing left.
  for (int pass = 0; pass < 50; ++pass) {
    bool found = false;
    for (const std::string& path : Paths()) {
      if (TgmFileUtil::DirectoryExists(path)) {
        found = true;
        TgmFileUtil::DeleteTree(path);
      } else if (fs::GetFileAttributes(path) != fs::kInvalidFileAttributes) {
        found = true;
        fs::DeleteFile(path);
      }
    }
    if (!found && pass >= 4) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace slv2::publish
