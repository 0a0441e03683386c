#include "storage/cfb/Error.h"

namespace slv2::cfb {

void Fail(stg::HRESULT code, const char* what) {
  throw CfbError(code, what);
}

void Corrupt(const char* what) {
  throw CfbError(stg::kStgEDocFileCorrupt, what);
}

}  // namespace slv2::cfb
