// Extracted files made durable in batches (slv2pack extract, UnpackStorage):
// each file is written complete as a new file that has no name yet
// (fs::NewFile); a batch then makes all of them durable together (one flush
// per file system), gives each its target's name (each step atomic) and
// makes the names durable together. A kill at any moment leaves every
// target with its old content or its new one, for a few flushes per batch
// instead of two per file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sys/FileLayer.h"

namespace slv2 {

class TExtractBatch {
 public:
  TExtractBatch() = default;
  TExtractBatch(const TExtractBatch&) = delete;
  TExtractBatch& operator=(const TExtractBatch&) = delete;

  // The complete new file of `size` bytes for the target; the batch is
  // applied once it is full. Raises EFileOpenError ("Cannot create file
  // <target>: <reason>") when a flush or a placing fails. Files not placed
  // go with the batch.
  void Add(fs::NewFile file, std::string target, int64_t size);
  // Applies what is pending; raises as Add does.
  void Finish();

 private:
  std::vector<std::pair<fs::NewFile, std::string>> FPending;  // file, target
  int64_t FBytes = 0;
};

}  // namespace slv2
