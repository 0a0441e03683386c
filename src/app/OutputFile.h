// The files the administrator names on the command line (--log, --report):
// they often lie where pupils may write, so a link there must not take the
// root's writes elsewhere, not even one swapped in while the program runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sys/FileLayer.h"

namespace slv2 {

// The report's name for standard output.
inline constexpr const char* kStandardOutput = "-";

// An output file (a full path, program text), reached once when the object
// is made: the folders on the way are opened one by one from the top
// without following a link. A link met on the way in a folder that anyone
// but root and the running user may write refuses the file, the file's own
// place included; elsewhere (an administrator's) a link to a folder is
// followed, its target reached the same way. The folder that holds the
// file stays open while the object lives, and the file is reached from it:
// a folder swapped for a link meanwhile changes nothing, and a link in the
// file's place is never followed.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& file);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Why the file is refused (a link on the way in a folder others may
  // write); empty when it is not.
  const std::string& Refusal() const { return refusal_; }
  // Why the folder of the file was not reached (a folder on the way is
  // missing): the platform's error code, 0 when it was.
  uint32_t Error() const { return error_; }
  // The path by which the file layer reaches the file from its held folder,
  // as long as the object lives.
  const std::string& Path() const { return path_; }
  // Whether the file is a device or a FIFO: written into, never replaced.
  bool IsStream() const { return stream_; }
  // The device or FIFO opened for writing; invalid, with LastError() set,
  // when something else took its place.
  fs::FileHandle OpenStream() const;

 private:
  struct Held;
  std::unique_ptr<Held> held_;
  std::string refusal_;
  std::string path_;
  uint32_t error_ = 0;
  bool stream_ = false;
};

}  // namespace slv2
