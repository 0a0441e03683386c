// The registry of anchored roots, the same on every platform.
#include "sys/FileLayerRoots.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "sys/Cp1251.h"
#include "sys/FileLayer.h"

namespace slv2::fs {
namespace detail {
namespace {

struct Registered {
  std::string root;
  std::vector<std::string> components;  // of its absolute form
  int count = 0;
};

std::mutex g_mutex;
std::vector<Registered> g_roots;
std::atomic<uint64_t> g_generation{0};

bool IsDelimiter(char c) {
  return c == '/' || c == '\\';
}

// The components of the path's absolute form, ".." still in place.
std::vector<std::string> AbsoluteComponents(std::string_view path) {
  bool absolute = false;
  std::vector<std::string> components = SplitComponents(path, &absolute);
  bool drive = path.size() >= 2 && path[1] == ':';
  if (absolute || drive) return components;
  std::vector<std::string> full = SplitComponents(GetFullPathName("."));
  full.insert(full.end(), components.begin(), components.end());
  return full;
}

std::vector<std::string> Lexical(const std::vector<std::string>& components) {
  std::vector<std::string> out;
  for (const std::string& c : components) {
    if (c != "..") {
      out.push_back(c);
    } else if (!out.empty()) {
      out.pop_back();
    }
  }
  return out;
}

// The longest registered root that `components` start with; -1 if none.
int Match(const std::vector<std::string>& components) {
  int best = -1;
  for (size_t i = 0; i < g_roots.size(); ++i) {
    const std::vector<std::string>& root = g_roots[i].components;
    if (root.size() > components.size()) continue;
    if (best >= 0 && root.size() <= g_roots[static_cast<size_t>(best)].components.size()) continue;
    bool same =
        std::equal(root.begin(), root.end(), components.begin(),
                   [](const std::string& a, const std::string& b) { return AnsiSameText(a, b); });
    if (same) best = static_cast<int>(i);
  }
  return best;
}

}  // namespace

std::vector<std::string> SplitComponents(std::string_view path, bool* absolute) {
  if (absolute) *absolute = !path.empty() && IsDelimiter(path[0]);
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = i;
    while (j < path.size() && !IsDelimiter(path[j]))
      ++j;
    std::string_view part = path.substr(i, j - i);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    i = j + 1;
  }
  return parts;
}

bool FindAnchor(std::string_view path, Anchor* anchor) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_roots.empty()) return false;
  std::vector<std::string> components = AbsoluteComponents(path);
  int found = Match(components);
  if (found < 0) {
    components = Lexical(components);
    found = Match(components);
    if (found < 0) return false;
  }
  const Registered& root = g_roots[static_cast<size_t>(found)];
  anchor->root = root.root;
  anchor->below.assign(components.begin() + static_cast<ptrdiff_t>(root.components.size()),
                       components.end());
  return true;
}

bool FindEnclosingAnchor(const std::string& root, Anchor* anchor) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto self = std::find_if(g_roots.begin(), g_roots.end(),
                           [&root](const Registered& r) { return r.root == root; });
  if (self == g_roots.end()) return false;
  const std::vector<std::string>& inner = self->components;
  const Registered* best = nullptr;
  for (const Registered& r : g_roots) {
    if (r.components.size() >= inner.size()) continue;
    if (best && r.components.size() <= best->components.size()) continue;
    if (std::equal(r.components.begin(), r.components.end(), inner.begin(),
                   [](const std::string& a, const std::string& b) { return AnsiSameText(a, b); }))
      best = &r;
  }
  if (!best) return false;
  anchor->root = best->root;
  anchor->below.assign(inner.begin() + static_cast<ptrdiff_t>(best->components.size()),
                       inner.end());
  return true;
}

uint64_t RootsGeneration() {
  return g_generation.load();
}

bool HasRootBelow(std::string_view path) {
  size_t deepest = 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const Registered& r : g_roots)
      deepest = std::max(deepest, r.components.size());
  }
  // Most folders asked about lie deeper than every root: a count of their
  // components tells, without taking the path apart.
  bool absolute = !path.empty() && IsDelimiter(path[0]);
  if (absolute && path.find("..") == std::string_view::npos) {
    size_t count = 0;
    for (size_t i = 0; i < path.size(); ++i) {
      bool starts = !IsDelimiter(path[i]) && (i == 0 || IsDelimiter(path[i - 1]));
      bool dot = path[i] == '.' && (i + 1 == path.size() || IsDelimiter(path[i + 1]));
      if (starts && !dot) ++count;
    }
    if (count >= deepest) return false;
  }
  std::vector<std::string> components = Lexical(AbsoluteComponents(path));
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const Registered& r : g_roots) {
    bool below =
        r.components.size() > components.size() &&
        std::equal(components.begin(), components.end(), r.components.begin(),
                   [](const std::string& a, const std::string& b) { return AnsiSameText(a, b); });
    if (below) return true;
  }
  return false;
}

}  // namespace detail

AnchoredRoot::AnchoredRoot(std::string_view root) {
  if (root.empty()) return;
  std::vector<std::string> components = detail::Lexical(detail::AbsoluteComponents(root));
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  for (detail::Registered& r : detail::g_roots) {
    if (r.components == components) {
      ++r.count;
      root_ = r.root;
      return;
    }
  }
  root_ = GetFullPathName(root);
  detail::g_roots.push_back(detail::Registered{root_, std::move(components), 1});
  ++detail::g_generation;
}

AnchoredRoot::~AnchoredRoot() {
  if (root_.empty()) return;
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  for (auto it = detail::g_roots.begin(); it != detail::g_roots.end(); ++it) {
    if (it->root == root_ && --it->count == 0) {
      detail::g_roots.erase(it);
      ++detail::g_generation;
      detail::ForgetRoot(root_);
      return;
    }
  }
}

}  // namespace slv2::fs
