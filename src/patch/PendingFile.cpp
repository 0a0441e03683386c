#include "patch/PendingFile.h"

#include "patch/DiffUtil.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/Format.h"
#include "sys/TempNames.h"
#include "sys/WinError.h"

namespace slv2 {

TPendingFile::TPendingFile(std::string destination) : destination_(std::move(destination)) {
  size_t slash = destination_.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? "." : destination_.substr(0, slash + 1);
  temp_ = fs::GetTempFileName(folder, kTempPrefix);
  if (temp_.empty()) {
    throw EDiffUtil(Format("Cannot create a temporary file beside %s: %s", destination_.c_str(),
                           SysErrorMessage(fs::LastError()).c_str()));
  }
}

TPendingFile::~TPendingFile() {
  if (!temp_.empty()) fs::DeleteFile(temp_);
}

void TPendingFile::CommitQuickly() {
  if (fs::MoveFile(temp_, destination_)) {
    temp_.clear();
    return;
  }
  Commit();
}

void TPendingFile::Commit() {
  if (!fs::ReplaceFileContent(temp_, destination_)) {
    throw EDiffUtil(Format("Cannot replace %s: %s", destination_.c_str(),
                           SysErrorMessage(fs::LastError()).c_str()));
  }
  temp_.clear();
}

}  // namespace slv2
