// Extracted files made durable in batches (slv2pack extract, UnpackStorage):
// each file is written complete into a temporary file beside its target;
// a batch then makes all of them durable together (one flush per file
// system), renames each over its target (each rename atomic) and makes the
// renames durable together. A kill at any moment leaves every target with
// its old content or its new one, for a few flushes per batch instead of
// two per file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace slv2 {

class TExtractBatch {
 public:
  TExtractBatch() = default;
  // Temporary files not renamed yet are deleted.
  ~TExtractBatch();
  TExtractBatch(const TExtractBatch&) = delete;
  TExtractBatch& operator=(const TExtractBatch&) = delete;

  // The complete temporary file of `size` bytes for the target; the batch
  // is applied once it is full. Raises EFileOpenError ("Cannot create file
  // <target>: <reason>") when a flush or a rename fails.
  void Add(std::string temp, std::string target, int64_t size);
  // Applies what is pending; raises as Add does.
  void Finish();

 private:
  std::vector<std::pair<std::string, std::string>> FPending;  // temporary file, target
  int64_t FBytes = 0;
};

}  // namespace slv2
