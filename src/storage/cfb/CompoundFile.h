// One open compound file: the engine behind every storage and stream object
// opened from it, which share it and keep it (and so the file) open while any
// of them lives. Elements are named by their directory entry numbers; the
// root is 0.
//
// Stream data goes to the file as it is written; the tables, the directory
// and the header are written by Sync, on a commit and when the last object
// goes, so that building a file costs one write per run of data and one per
// changed table sector. A failure of that last Sync has nobody to tell it to:
// writers that must know commit before they let go.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "storage/cfb/Directory.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/Header.h"
#include "storage/cfb/LockBytes.h"
#include "storage/cfb/MiniStream.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class CompoundFile {
 public:
  // Opens the compound file in `bytes`. Raises CfbError: STG_E_FILEALREADYEXISTS
  // for data that is not a compound file, STG_E_INVALIDHEADER for a damaged
  // header, STG_E_DOCFILECORRUPT for a damaged structure.
  static std::shared_ptr<CompoundFile> Open(std::shared_ptr<LockBytes> bytes, bool writable);
  // Writes a new, empty compound file of version 3 (512-byte sectors, under
  // 2 GB) or 4 (4,096-byte sectors) into `bytes`.
  static std::shared_ptr<CompoundFile> Create(std::shared_ptr<LockBytes> bytes, int version);
  ~CompoundFile();

  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  bool Writable() const { return writable_; }
  const DirEntry& Entry(uint32_t id) const { return dir_->At(id); }
  // True when `id` is `ancestor` or an element below it.
  bool IsWithin(uint32_t id, uint32_t ancestor) const;

  std::vector<uint32_t> Children(uint32_t storage);
  // The child of `storage` named `name` (case ignored), or kNoStream.
  uint32_t Find(uint32_t storage, std::u16string_view name);
  // A new, empty storage or stream in `storage`; the name is valid and free.
  uint32_t Add(uint32_t storage, std::u16string_view name, uint8_t type);
  // Removes an element with everything below it and frees their sectors.
  void Destroy(uint32_t id);
  void SetClass(uint32_t id, const uint8_t* clsid, uint32_t stateBits);

  // Elements open through storage and stream objects (each exclusively).
  bool IsOpen(uint32_t id) const { return open_.count(id) != 0; }
  // True when the element or one below it is open.
  bool InUse(uint32_t id) const;
  void MarkOpen(uint32_t id) { open_.insert(id); }
  void MarkClosed(uint32_t id) { open_.erase(id); }

  // Writes every changed table, entry and the header.
  void Sync();
  // Sync, then makes the file durable.
  void Flush();

 private:
  friend class StreamData;

  CompoundFile(std::shared_ptr<LockBytes> bytes, bool writable);
  void Assemble();
  // The mini stream, loaded on first use in a file only read.
  MiniStream& Mini();
  bool Sorted(uint32_t storage);
  void Balance(uint32_t storage);
  void FreeContent(const DirEntry& e);

  std::shared_ptr<LockBytes> bytes_;
  bool writable_;
  bool ready_ = false;  // opened or created whole: only then is it written
  Header header_;
  uint8_t written_[kHeaderBytes] = {};
  std::unique_ptr<SectorFile> sectors_;
  std::unique_ptr<Fat> fat_;
  std::unique_ptr<Directory> dir_;
  std::unique_ptr<MiniStream> mini_;
  std::vector<uint32_t> parents_;
  // A file only read: the sectors claimed by its structures and the streams
  // read so far (each stream is checked when it is first opened).
  Claims claims_;
  std::unordered_set<uint32_t> checked_;
  // What is known of each storage's tree (bits of TreeState).
  std::unordered_map<uint32_t, uint8_t> trees_;
  std::unordered_set<uint32_t> open_;
};

}  // namespace slv2::cfb
