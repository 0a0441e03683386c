// The mini stream: streams shorter than the cutoff live in 64-byte mini
// sectors inside the root entry's stream (the container), chained by the mini
// FAT, which is itself a chain of regular sectors. A file that is only read
// loads both on first use, so a damaged mini stream fails only the streams in
// it.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/Directory.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/Header.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class MiniStream {
 public:
  MiniStream(SectorFile& file, Fat& fat, Header& header, Directory& directory);

  // Loads the mini FAT and the container; `writable` asks for whole, properly
  // ended chains.
  void Load(bool writable);
  // Starts an empty mini stream (a new file).
  void Create();

  const std::vector<uint32_t>& FatChain();
  const std::vector<uint32_t>& Container();
  // Mini sector numbers below this hold data inside the container.
  uint32_t Limit();

  std::vector<uint32_t> Chain(uint32_t start, uint64_t count);
  std::vector<uint32_t> WholeChain(uint32_t start);
  // As Fat::Resize; the mini FAT and the container grow as needed.
  void Resize(std::vector<uint32_t>& chain, size_t count);

  // `count` bytes at `offset` inside one mini sector.
  void Read(uint32_t sector, uint32_t offset, void* buffer, size_t count);
  void Write(uint32_t sector, uint32_t offset, const void* buffer, size_t count);

  // Writes changed mini FAT sectors and fills in the header's fields.
  void Store();

 private:
  void EnsureLoaded() {
    if (!loaded_) Load(false);
  }
  uint32_t PerSector() const { return file_.SectorSize() / 4; }
  uint64_t ContainerOffset(uint32_t sector, uint32_t offset) const;
  void Set(uint32_t sector, uint32_t value);
  uint32_t Allocate();

  SectorFile& file_;
  Fat& fat_;
  Header& header_;
  Directory& directory_;
  bool loaded_ = false;
  std::vector<uint32_t> table_;
  std::vector<uint32_t> fatChain_;
  std::vector<uint32_t> container_;
  std::vector<bool> dirty_;  // per mini FAT sector
  bool chainChanged_ = false;
  uint32_t freeHint_ = 0;
};

}  // namespace slv2::cfb
