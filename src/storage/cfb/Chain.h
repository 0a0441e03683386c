// Chains of units (sectors, or mini sectors) through a table of links: the
// FAT or the mini FAT. A chain is never held whole: a Chain keeps where its
// last access was and one unit of every kStride, so that memory stays flat
// whatever its length and a jump back costs at most kStride steps.
//
// Every walk is bounded by the table's limit, the number of units that can
// hold data. A walk that claims its units in a Claims set (one bit per unit)
// also finds loops and units that belong to two chains: such a file is
// corrupt.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace slv2::cfb {

// The table of links that chains run through.
class LinkTable {
 public:
  virtual ~LinkTable() = default;
  // Units below this can hold data.
  virtual uint32_t Limit() = 0;
  // The link stored for `unit`; corruption for a unit outside the table.
  virtual uint32_t Next(uint32_t unit) = 0;
  virtual void Link(uint32_t unit, uint32_t next) = 0;
  // A free unit, marked as the end of a chain.
  virtual uint32_t Allocate() = 0;
  virtual void Release(uint32_t unit) = 0;
};

// One bit per unit: taken by a chain already.
using Claims = std::vector<bool>;

// Follows the chain from `start` to its end marker, claiming every unit, and
// returns its length; `visit`, when given, sees each unit. A lenient walk also
// takes FREESECT as an end, as some writers leave it; a strict one (for files
// about to be changed, whose ends must be right) does not.
uint64_t ClaimWholeChain(LinkTable& table, uint32_t start, Claims& claims, bool strict,
                         const std::function<void(uint32_t)>& visit = {});

class Chain {
 public:
  static constexpr uint64_t kStride = 64;

  // An empty chain.
  explicit Chain(LinkTable& table) : table_(&table) {}
  // The first `length` units from `start`, walked now (and claimed, when
  // `claims` is given) so that a damaged chain fails here, not half-way
  // through reading it.
  static Chain Checked(LinkTable& table, uint32_t start, uint64_t length, Claims* claims);
  // The whole chain from `start` to its end marker, in a file whose chains
  // were checked when it was opened.
  static Chain Whole(LinkTable& table, uint32_t start);

  uint64_t Length() const { return length_; }
  uint32_t Start() const;
  // The unit at `index` (below Length()); `*run` gets how many units from it
  // on are consecutive, at least 1 and at most `most`.
  uint32_t At(uint64_t index, uint64_t most, uint64_t* run);
  // New units come from the table's free ones; dropped ones become free. A
  // growth that fails gives back what it took, so the chain stays as it was.
  void Resize(uint64_t length);

 private:
  void Begin(uint32_t start);
  void MoveTo(uint64_t index);
  void Advance(Claims* claims = nullptr);
  void Mark(uint64_t index, uint32_t unit);

  LinkTable* table_;
  uint64_t length_ = 0;
  std::vector<uint32_t> marks_;  // the unit at index k * kStride, as far as walked
  uint64_t at_ = 0;              // the cursor: index and unit
  uint32_t unit_ = 0;
};

}  // namespace slv2::cfb
