// A paragraph per slv2pack command, for `slv2pack help COMMAND`.
#pragma once

namespace slv2::pack {

// nullptr for a name that is no command.
const char* CommandHelp(const char* name);

}  // namespace slv2::pack
