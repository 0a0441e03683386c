// Who runs the program where, for the run's report: the machine's name and
// the user's login name as program text; empty when the system does not say.
#pragma once

#include <string>

namespace slv2 {

std::string MachineHostName();
std::string MachineUserName();

}  // namespace slv2
