// A new folder of the program's own in the system temporary folder, removed
// with everything in it when the object goes or the tool is interrupted.
#pragma once

#include <memory>
#include <string>

#include "publish/RemoveOnInterrupt.h"

namespace slv2::publish {

class TScratchFolder {
 public:
  // Raises EPublishError when no folder can be made.
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Without a trailing delimiter.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::unique_ptr<TRemoveOnInterrupt> interrupt_;
};

}  // namespace slv2::publish
