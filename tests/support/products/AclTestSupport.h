// Fixtures of the file-permission tests: getfacl as an independent view of a
// file's lists, and checks run as another user.
#pragma once

#include <functional>
#include <string>

#include "TestSupport.h"

namespace slv2::test {

// The lists of a path as getfacl prints them, without header and comments.
std::string GetFacl(const std::string& path);
// Why access lists cannot be tested in `folder`, or "" when they can.
std::string WhyNoAcls(const std::string& folder);

// Runs `check` in a child process as the user nobody; needs root.
bool AsNobody(const std::function<bool()>& check);

}  // namespace slv2::test
