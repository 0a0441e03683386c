#include "storage/cfb/SiblingTree.h"

#include <algorithm>
#include <utility>

#include "storage/cfb/Error.h"
#include "storage/cfb/Names.h"

namespace slv2::cfb {

std::vector<uint32_t> SiblingTree::InOrder() const {
  std::vector<uint32_t> order;
  std::vector<uint32_t> path;
  uint32_t limit = dir_.Count();
  for (uint32_t at = Root(); at != kNoStream || !path.empty();) {
    for (; at != kNoStream; at = E(at).left) {
      if (path.size() >= limit) Corrupt("directory tree loops");
      path.push_back(at);
    }
    at = path.back();
    path.pop_back();
    if (order.size() >= limit) Corrupt("directory tree loops");
    order.push_back(at);
    at = E(at).right;
  }
  return order;
}

uint32_t SiblingTree::Find(std::u16string_view name, bool sorted) const {
  if (!sorted) {
    for (uint32_t id : InOrder()) {
      if (CompareNames(name, E(id).Name()) == 0) return id;
    }
    return kNoStream;
  }
  uint32_t steps = 0;
  for (uint32_t at = Root(); at != kNoStream; ++steps) {
    if (steps > dir_.Count()) Corrupt("directory tree loops");
    int order = CompareNames(name, E(at).Name());
    if (order == 0) return at;
    at = order < 0 ? E(at).left : E(at).right;
  }
  return kNoStream;
}

bool SiblingTree::IsSorted() const {
  std::vector<uint32_t> order = InOrder();
  for (size_t i = 1; i < order.size(); ++i) {
    if (CompareNames(E(order[i - 1]).Name(), E(order[i]).Name()) > 0) return false;
  }
  return true;
}

bool SiblingTree::Less(uint32_t a, uint32_t b) const {
  int order = CompareNames(E(a).Name(), E(b).Name());
  return order != 0 ? order < 0 : a < b;
}

bool SiblingTree::IsLeftLeaningRedBlack() const {
  std::vector<uint32_t> order = InOrder();
  for (size_t i = 1; i < order.size(); ++i) {
    if (!Less(order[i - 1], order[i])) return false;
  }
  if (IsRed(Root())) return false;
  // Every path from the root to a missing child passes the same number of
  // black nodes; reds lean left and never follow each other.
  int blackHeight = -1;
  std::vector<std::pair<uint32_t, int>> pending;
  if (Root() != kNoStream) pending.emplace_back(Root(), 0);
  while (!pending.empty()) {
    auto [at, blacks] = pending.back();
    pending.pop_back();
    const DirEntry& e = E(at);
    if (e.color != kRed && e.color != kBlack) return false;
    if (IsRed(e.right) || (e.color == kRed && IsRed(e.left))) return false;
    blacks += e.color == kBlack ? 1 : 0;
    for (uint32_t next : {e.left, e.right}) {
      if (next != kNoStream) {
        pending.emplace_back(next, blacks);
      } else if (blackHeight < 0) {
        blackHeight = blacks;
      } else if (blackHeight != blacks) {
        return false;
      }
    }
  }
  return true;
}

void SiblingTree::Rebuild() {
  std::vector<uint32_t> order = InOrder();
  std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) { return Less(a, b); });
  SetRoot(kNoStream);
  for (uint32_t id : order)
    Insert(id);
}

void SiblingTree::SetRoot(uint32_t root) {
  E(storage_).child = root;
  dir_.Touch(storage_);
}

void SiblingTree::SetLeft(uint32_t id, uint32_t left) {
  E(id).left = left;
  dir_.Touch(id);
}

void SiblingTree::SetRight(uint32_t id, uint32_t right) {
  E(id).right = right;
  dir_.Touch(id);
}

void SiblingTree::SetColor(uint32_t id, uint8_t color) {
  E(id).color = color;
  dir_.Touch(id);
}

uint32_t SiblingTree::RotateLeft(uint32_t h) {
  uint32_t x = E(h).right;
  SetRight(h, E(x).left);
  SetLeft(x, h);
  SetColor(x, E(h).color);
  SetColor(h, kRed);
  return x;
}

uint32_t SiblingTree::RotateRight(uint32_t h) {
  uint32_t x = E(h).left;
  SetLeft(h, E(x).right);
  SetRight(x, h);
  SetColor(x, E(h).color);
  SetColor(h, kRed);
  return x;
}

void SiblingTree::FlipColors(uint32_t h) {
  for (uint32_t id : {h, E(h).left, E(h).right}) {
    if (id != kNoStream) SetColor(id, E(id).color == kRed ? kBlack : kRed);
  }
}

uint32_t SiblingTree::Balance(uint32_t h) {
  if (IsRed(E(h).right) && !IsRed(E(h).left)) h = RotateLeft(h);
  if (IsRed(E(h).left) && IsRed(Left(E(h).left))) h = RotateRight(h);
  if (IsRed(E(h).left) && IsRed(E(h).right)) FlipColors(h);
  return h;
}

uint32_t SiblingTree::MoveRedLeft(uint32_t h) {
  FlipColors(h);
  if (IsRed(Left(E(h).right))) {
    SetRight(h, RotateRight(E(h).right));
    h = RotateLeft(h);
    FlipColors(h);
  }
  return h;
}

uint32_t SiblingTree::MoveRedRight(uint32_t h) {
  FlipColors(h);
  if (IsRed(Left(E(h).left))) {
    h = RotateRight(h);
    FlipColors(h);
  }
  return h;
}

// The recursions below follow the tree's height, which a left-leaning
// red-black tree keeps below twice the logarithm of its size.
uint32_t SiblingTree::InsertAt(uint32_t h, uint32_t id) {
  if (h == kNoStream) return id;
  if (Less(id, h)) {
    SetLeft(h, InsertAt(E(h).left, id));
  } else {
    SetRight(h, InsertAt(E(h).right, id));
  }
  return Balance(h);
}

uint32_t SiblingTree::RemoveMin(uint32_t h) {
  if (E(h).left == kNoStream) return kNoStream;
  if (!IsRed(E(h).left) && !IsRed(Left(E(h).left))) h = MoveRedLeft(h);
  SetLeft(h, RemoveMin(E(h).left));
  return Balance(h);
}

uint32_t SiblingTree::RemoveAt(uint32_t h, uint32_t id) {
  if (h == kNoStream) Corrupt("element missing from its tree");
  if (Less(id, h)) {
    if (!IsRed(E(h).left) && !IsRed(Left(E(h).left))) h = MoveRedLeft(h);
    SetLeft(h, RemoveAt(E(h).left, id));
    return Balance(h);
  }
  if (IsRed(E(h).left)) h = RotateRight(h);
  if (h == id && E(h).right == kNoStream) return kNoStream;
  if (!IsRed(E(h).right) && !IsRed(Left(E(h).right))) h = MoveRedRight(h);
  if (h == id) {
    // The smallest node of the right subtree takes the removed node's place.
    uint32_t successor = E(h).right;
    while (E(successor).left != kNoStream)
      successor = E(successor).left;
    uint32_t rest = RemoveMin(E(h).right);
    SetLeft(successor, E(h).left);
    SetRight(successor, rest);
    SetColor(successor, E(h).color);
    h = successor;
  } else {
    SetRight(h, RemoveAt(E(h).right, id));
  }
  return Balance(h);
}

void SiblingTree::Insert(uint32_t id) {
  SetLeft(id, kNoStream);
  SetRight(id, kNoStream);
  SetColor(id, kRed);
  uint32_t root = InsertAt(Root(), id);
  SetColor(root, kBlack);
  SetRoot(root);
}

void SiblingTree::Remove(uint32_t id) {
  uint32_t root = Root();
  if (!IsRed(E(root).left) && !IsRed(E(root).right)) SetColor(root, kRed);
  root = RemoveAt(root, id);
  if (root != kNoStream) SetColor(root, kBlack);
  SetRoot(root);
  SetLeft(id, kNoStream);
  SetRight(id, kNoStream);
}

}  // namespace slv2::cfb
