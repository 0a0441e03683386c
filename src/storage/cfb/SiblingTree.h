// The children of one storage: a binary tree of directory entries linked by
// their left and right links, its root in the storage's child link, sorted by
// CompareNames.
//
// Files from other writers hold trees of any shape (all black, all red,
// lists thousands deep, now and then not even sorted); reading walks them
// without recursion. Changes keep a left-leaning red-black tree, a valid
// red-black tree of the format: a tree not of that kind is rebuilt before its
// first change. Ties between equal names (only in foreign files) are broken by
// entry number, so every node has its own place.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "storage/cfb/Directory.h"

namespace slv2::cfb {

class SiblingTree {
 public:
  SiblingTree(Directory& directory, uint32_t storage) : dir_(directory), storage_(storage) {}

  // The children in the tree's order.
  std::vector<uint32_t> InOrder() const;
  // The child named `name` under the format's order, or kNoStream. `sorted`
  // allows a binary search; otherwise every child is compared.
  uint32_t Find(std::u16string_view name, bool sorted) const;

  // True when the in-order names never descend, so binary search works.
  bool IsSorted() const;
  // True for a left-leaning red-black tree with strictly ascending keys.
  bool IsLeftLeaningRedBlack() const;
  // Rebuilds the tree as a left-leaning red-black tree of the same children.
  void Rebuild();

  // Both need a left-leaning red-black tree and keep it one.
  void Insert(uint32_t id);
  void Remove(uint32_t id);

 private:
  DirEntry& E(uint32_t id) { return dir_.At(id); }
  const DirEntry& E(uint32_t id) const { return dir_.At(id); }
  uint32_t Root() const { return E(storage_).child; }
  void SetRoot(uint32_t root);
  bool Less(uint32_t a, uint32_t b) const;
  bool IsRed(uint32_t id) const { return id != kNoStream && E(id).color == kRed; }
  uint32_t Left(uint32_t id) const { return id == kNoStream ? kNoStream : E(id).left; }
  void SetLeft(uint32_t id, uint32_t left);
  void SetRight(uint32_t id, uint32_t right);
  void SetColor(uint32_t id, uint8_t color);

  uint32_t RotateLeft(uint32_t h);
  uint32_t RotateRight(uint32_t h);
  void FlipColors(uint32_t h);
  uint32_t Balance(uint32_t h);
  uint32_t MoveRedLeft(uint32_t h);
  uint32_t MoveRedRight(uint32_t h);
  uint32_t InsertAt(uint32_t h, uint32_t id);
  uint32_t RemoveMin(uint32_t h);
  uint32_t RemoveAt(uint32_t h, uint32_t id);

  Directory& dir_;
  uint32_t storage_;
};

}  // namespace slv2::cfb
