// The structured-storage interface (storage/StgApi.h) served by this engine:
// storage, stream and enumerator objects over a CompoundFile, and the
// functions that create and open compound files. Platform-free, so that the
// engine builds and is tested on every platform; Linux's StgCreateDocfile and
// StgOpenStorage forward here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/StgApi.h"
#include "storage/cfb/LockBytes.h"

namespace slv2::cfb {

// A compound file on disk. Creating needs write access and replaces an
// existing file only with STGM_CREATE; `version` is 3 or 4 (else
// STG_E_INVALIDPARAMETER). The root's share mode is enforced between
// processes by the file layer. Changes since the last commit are written when
// the last object of the file goes.
stg::HRESULT CreateDocfile(const std::string& fileName, uint32_t mode,
                           std::unique_ptr<stg::IStorage>* storage, int version = 3);
stg::HRESULT OpenDocfile(const std::string& fileName, uint32_t mode,
                         std::unique_ptr<stg::IStorage>* storage);

// The same on bytes of any kind (memory in tests and fuzzing); the share bits
// of the mode are checked but have no one to keep out.
stg::HRESULT CreateDocfileOn(std::shared_ptr<LockBytes> bytes, uint32_t mode,
                             std::unique_ptr<stg::IStorage>* storage, int version = 3);
stg::HRESULT OpenDocfileOn(std::shared_ptr<LockBytes> bytes, uint32_t mode,
                           std::unique_ptr<stg::IStorage>* storage);

}  // namespace slv2::cfb
