// Opens the input as a compound file, opens every storage and reads every
// stream; copies what it accepted into a new file, and changes a copy of the
// input opened for writing. Files the engine wrote must open again, and their
// streams must read without corruption.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "storage/cfb/CfbStorage.h"

using namespace slv2;

namespace {

constexpr uint32_t kRead = stg::kStgmRead | stg::kStgmShareDenyWrite;
constexpr uint32_t kNestedRead = stg::kStgmRead | stg::kStgmShareExclusive;
constexpr uint32_t kWrite = stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kCreate = stg::kStgmCreate | kWrite;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Walks the whole tree without recursion; true when no element was corrupt.
bool Walk(stg::IStorage& root) {
  bool whole = true;
  std::vector<std::unique_ptr<stg::IStorage>> pending;
  std::unique_ptr<stg::IStorage> owned;
  stg::IStorage* current = &root;
  std::vector<char> buffer(65536);
  for (;;) {
    std::unique_ptr<stg::IEnumStatStg> e;
    if (current->EnumElements(&e) == stg::kS_OK) {
      stg::StatStg records[16];
      uint32_t fetched = 0;
      stg::HRESULT more;
      do {
        more = e->Next(16, records, &fetched);
        for (uint32_t i = 0; i < fetched; ++i) {
          stg::HRESULT hr;
          if (records[i].type == stg::kStgTyStorage) {
            std::unique_ptr<stg::IStorage> sub;
            hr = current->OpenStorage(records[i].name, kNestedRead, &sub);
            if (hr == stg::kS_OK) pending.push_back(std::move(sub));
          } else {
            std::unique_ptr<stg::IStream> s;
            hr = current->OpenStream(records[i].name, kNestedRead, &s);
            uint32_t read = 0;
            while (hr == stg::kS_OK)
              hr = s->Read(buffer.data(), 65536, &read);
            if (hr == stg::kS_FALSE) hr = stg::kS_OK;
          }
          whole = whole && hr != stg::kStgEDocFileCorrupt;
        }
      } while (more == stg::kS_OK);
    }
    if (pending.empty()) return whole;
    owned = std::move(pending.back());
    pending.pop_back();
    current = owned.get();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<stg::IStorage> root;
  if (cfb::OpenDocfileOn(std::make_shared<cfb::MemoryLockBytes>(input), kRead, &root) ==
      stg::kS_OK) {
    Walk(*root);
    auto copied = std::make_shared<cfb::MemoryLockBytes>();
    std::unique_ptr<stg::IStorage> copy;
    Require(cfb::CreateDocfileOn(copied, kCreate, &copy) == stg::kS_OK);
    root->CopyTo(*copy);  // may stop at a damaged element; what it wrote must hold
    copy.reset();
    Require(cfb::OpenDocfileOn(copied, kRead, &copy) == stg::kS_OK);
    Require(Walk(*copy));
  }
  auto bytes = std::make_shared<cfb::MemoryLockBytes>(input);
  if (cfb::OpenDocfileOn(bytes, kWrite, &root) == stg::kS_OK) {
    std::unique_ptr<stg::IEnumStatStg> e;
    stg::StatStg first;
    if (root->EnumElements(&e) == stg::kS_OK && e->Next(1, &first, nullptr) == stg::kS_OK)
      root->DestroyElement(first.name);
    std::unique_ptr<stg::IStream> s;
    if (root->CreateStream(u"fuzz", kCreate, &s) == stg::kS_OK) {
      s->Write(input.data(), static_cast<uint32_t>(size), nullptr);
      s->SetSize(size / 2);
    }
    s.reset();
    root.reset();
    Require(cfb::OpenDocfileOn(bytes, kRead, &root) == stg::kS_OK);
    Require(Walk(*root));
  }
  return 0;
}
