#include "updater/Slv2IniFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

void TSlv2Updater::LoadIniFiles() {
  SLV2_ASSERT(FStorage, "Slv2Updater");
}
bool TSlv2Updater::LoadIniFromStorage(const std::string&, TSlv2IniFile& ini) {
  ini.Clear();
  return false;
}
void TSlv2Updater::ProcessDelete(const std::vector<std::string>&, const std::string&) {}
void TSlv2Updater::ProcessStrReplace(TSlv2StrReplaceList&) {}
void TSlv2Updater::ReplaceInFile(TSlv2StrReplaceData&, const std::string&) {}
void TSlv2Updater::UnpackStorage(const TSlv2UnpackStorageData&) {}
void TSlv2Updater::UnpackStorageFile(const std::string&, const std::string&) {}
void TSlv2Updater::ProcessFiles() {}
void TSlv2Updater::ProcessFilesIn(TgmStorage&, const std::string&, const std::string&) {}
void TSlv2Updater::ProcessFile(TgmStorage&, const std::string&, const std::string&) {}
void TSlv2Updater::ProcessPatch(TgmStorage&, const std::string&, const std::string&) {}
void TSlv2Updater::ProcessDiff(TgmStorage&, const std::string&, const std::string&) {}
void TSlv2Updater::ProcessRegistry() {}
bool TSlv2Updater::ProcessRegFile(const std::string&) {
  return false;
}

}  // namespace slv2
