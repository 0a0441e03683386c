#include <sys/stat.h>
#include <unistd.h>

#include "sys/FileLayerResolve_posix.h"
#include "updater/Slv2TempOwner.h"

namespace slv2 {

bool MadeByRunningUser(const std::string& file) {
  struct stat st;
  fs::posix::Fd object = fs::posix::OpenObject(file, &st);
  return object.Valid() && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace slv2
