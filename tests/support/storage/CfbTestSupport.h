// Helpers of the engine's tests: whole-tree listings of compound files, as the
// engine sees them and as two implementations no one here wrote (olefile and
// libgsf's gsf tool) see them, the FAT read without the engine, small stream
// helpers, and what every engine test includes.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "CfbBuilder.h"
#include "TestSupport.h"
#include "storage/StgApi.h"
#include "storage/cfb/CfbStorage.h"
#include "sys/Cp1251.h"

namespace slv2::cfb::test {

using stg::IStorage;
using stg::IStream;

constexpr uint32_t kCreateMode = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kWriteMode = stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kReadMode = stg::kStgmRead | stg::kStgmShareDenyWrite;
constexpr uint32_t kNestedRead = stg::kStgmRead | stg::kStgmShareExclusive;

// One element: its path from the root (UTF-8, "/" between names) and, for a
// stream, its size and CRC-32; `error` when it could not be opened or read.
struct Element {
  std::string path;
  bool storage = false;
  uint64_t size = 0;
  uint32_t crc = 0;
  stg::HRESULT error = stg::kS_OK;
  bool operator==(const Element&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Element& e);

// Every element below `storage`, sorted by path; elements that fail to open
// or read are listed with their error.
std::vector<Element> Walk(stg::IStorage& storage);
// Whether the foreign readers are installed.
bool HaveOlefile();
bool HaveGsf();

// Every file the engine writes in the tests goes through these: olefile and
// gsf must see the same elements with the same contents as the engine. gsf
// cannot tell an empty storage from an empty stream, and lists it as a stream.
void ExpectForeignReadersAgree(const std::string& path);

// Every FAT entry of a file whose 32-bit little-endian values `at` reads,
// found through the header and the DIFAT, without the engine.
std::vector<uint32_t> ReadFat(const std::function<uint32_t(uint64_t)>& at);

// Writes a new stream (replacing one of the same name) and reads a whole one.
void PutStream(stg::IStorage& storage, std::u16string_view name, std::string_view data);
std::string GetStream(stg::IStorage& storage, std::u16string_view name);
std::string ReadAll(stg::IStream& stream);
// A nested storage, created when `mode` holds STGM_CREATE, else opened; one
// that fails raises, failing the test and the caller with it.
std::unique_ptr<IStorage> Sub(IStorage& parent, std::u16string_view name,
                              uint32_t mode = kNestedRead);
// The names a storage enumerates, fetched in batches, in its order.
std::vector<std::u16string> Names(stg::IStorage& storage);
// Deterministic bytes of any length.
std::string Pattern(size_t size, uint32_t seed = 1);

}  // namespace slv2::cfb::test
