// The directory: the array of 128-byte entries stored in a chain of regular
// sectors, read whole when the file is opened and written back, sector by
// changed sector, on Store. Entry 0 is the root.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/Chain.h"
#include "storage/cfb/DirEntry.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/Header.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class Directory {
 public:
  Directory(SectorFile& file, Fat& fat, Header& header);

  // Reads the chain, claiming its sectors in `claims`.
  void Load(bool writable, Claims& claims);
  // A new file's directory: one sector holding the root entry.
  void Create();

  uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
  // Raises corruption for a number outside the directory.
  DirEntry& At(uint32_t id);
  const DirEntry& At(uint32_t id) const;
  // Marks an entry to be written on the next Store.
  void Touch(uint32_t id);

  // An unused entry; the directory grows by a few sectors when none is left.
  uint32_t Allocate();
  void Release(uint32_t id);

  // Writes the sectors of changed entries and fills in the header's fields.
  void Store();
  const std::vector<uint32_t>& Chain() const { return chain_; }

 private:
  uint32_t PerSector() const { return file_.SectorSize() / kDirEntryBytes; }

  SectorFile& file_;
  Fat& fat_;
  Header& header_;
  std::vector<DirEntry> entries_;
  std::vector<uint32_t> chain_;
  std::vector<uint32_t> dirtyList_;
  std::vector<bool> dirty_;
  uint32_t freeHint_ = 1;
  bool chainChanged_ = false;
};

}  // namespace slv2::cfb
