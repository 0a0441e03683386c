// The publisher's side raises one class for what stops making or verifying an
// update: a release that cannot be read or shipped as it is.
#pragma once

#include "sys/Exception.h"

namespace slv2::publish {

SLV2_DECLARE_EXCEPTION(EPublishError, Exception);

}  // namespace slv2::publish
