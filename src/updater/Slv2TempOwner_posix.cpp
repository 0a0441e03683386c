#include <sys/stat.h>
#include <unistd.h>

#include "sys/FileLayerResolve_posix.h"
#include "updater/Slv2TempOwner.h"

namespace slv2 {

bool MadeByRunningUser(const std::string& file, std::chrono::system_clock::time_point before) {
  struct stat st;
  fs::posix::Fd object = fs::posix::OpenObject(file, &st);
  if (!object.Valid() || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
  // To the nanosecond: a run killed a moment ago wrote in the same second.
  auto written =
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  return written < before.time_since_epoch();
}

}  // namespace slv2
