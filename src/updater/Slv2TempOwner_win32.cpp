#include "sys/Cp1251.h"
#include "sys/FileOwner_win32.h"
#include "updater/Slv2TempOwner.h"

namespace slv2 {

bool MadeByRunningUser(const std::string& file, std::chrono::system_clock::time_point before) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(reinterpret_cast<const wchar_t*>(AnsiToUtf16(file).c_str()),
                              GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return false;
  }
  // A pupil may give a file of his own the program's name.
  if (!fs::win32::IsRunningUser(
          fs::win32::OwnerOf(fs::win32::ReadSecurity(file, OWNER_SECURITY_INFORMATION)))) {
    return false;
  }
  // 100-nanosecond intervals since 1601, and the seconds between 1601 and 1970.
  uint64_t ticks =
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  auto written =
      std::chrono::duration<int64_t, std::ratio<1, 10000000>>(static_cast<int64_t>(ticks)) -
      std::chrono::seconds(11644473600LL);
  return written < before.time_since_epoch();
}

}  // namespace slv2
