// The mini stream: streams shorter than the cutoff live in 64-byte mini
// sectors inside the root entry's stream (the container), chained by the mini
// FAT, which is itself a chain of regular sectors seen through a window. A
// file that is only read loads both on first use, so a damaged mini stream
// fails only the streams in it.
//
// The container grows by an eighth at a time (up to 1 MiB), so that it stays
// in few runs of sectors and a stream in it is read in one piece; the root's
// size always takes in all of it, and the mini FAT maps all of it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "storage/cfb/AllocationTable.h"
#include "storage/cfb/Chain.h"
#include "storage/cfb/Directory.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/Header.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class MiniStream : public LinkTable {
 public:
  MiniStream(SectorFile& file, Fat& fat, Header& header, Directory& directory);

  // Loads the mini FAT's chain and the container's, claiming their sectors
  // in `claims`, the file's. A file about to change needs whole, properly
  // ended chains.
  void Load(bool writable, Claims& claims);
  bool Loaded() const { return loaded_; }
  // Starts an empty mini stream (a new file).
  void Create();

  const std::vector<uint32_t>& FatChain();
  Chain& Container();
  // Mini sectors claimed by the streams read so far (a file only read).
  Claims& MiniClaims();

  uint32_t Limit() override;
  uint32_t Next(uint32_t unit) override;
  void Link(uint32_t unit, uint32_t next) override { table_.Set(unit, next); }
  uint32_t Allocate() override;
  void Release(uint32_t unit) override { table_.Free(unit); }

  // `count` bytes from `offset` inside mini sector `unit`, running on into
  // the mini sectors that follow it.
  void Read(uint32_t unit, uint32_t offset, void* buffer, size_t count);
  void Write(uint32_t unit, uint32_t offset, const void* buffer, size_t count);

  // Writes changed mini FAT sectors and fills in the header's fields.
  void Store();

 private:
  void EnsureLoaded();
  void Transfer(uint64_t at, uint8_t* buffer, size_t count, bool write);

  SectorFile& file_;
  Fat& fat_;
  Header& header_;
  Directory& directory_;
  bool loaded_ = false;
  bool writable_ = false;
  std::vector<uint32_t> fatChain_;
  AllocationTable table_;
  std::optional<Chain> container_;
  Claims claims_;
  bool chainChanged_ = false;
};

}  // namespace slv2::cfb
