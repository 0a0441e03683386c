// Failures inside the compound-file engine. Each carries the HRESULT that the
// structured-storage interface reports for it; the interface objects turn
// them into return values, so no exception reaches their callers.
#pragma once

#include <string>

#include "storage/StgApi.h"
#include "sys/Exception.h"

namespace slv2::cfb {

class CfbError : public Exception {
 public:
  CfbError(stg::HRESULT code, std::string message) : Exception(std::move(message)), code_(code) {}
  const char* ClassName() const noexcept override { return "CfbError"; }
  stg::HRESULT Code() const { return code_; }

 private:
  stg::HRESULT code_;
};

[[noreturn]] void Fail(stg::HRESULT code, const char* what);
// A structure of the file that cannot be right: STG_E_DOCFILECORRUPT.
[[noreturn]] void Corrupt(const char* what);

}  // namespace slv2::cfb
