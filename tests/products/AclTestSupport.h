// Access-list fixtures for the tests of file permissions: the acl tools as an
// independent view of what a file's lists hold, and checks run as another user.
#pragma once

#include <functional>
#include <string>

namespace slv2::test {

// The lists of a path (program string) as getfacl prints them, without header
// and without the effective-rights comments.
std::string GetFacl(const std::string& path);
// Runs setfacl with `options` on a path; fails the test when it fails.
void SetFacl(const std::string& options, const std::string& path);
// Why access lists cannot be tested in `folder`, or "" when they can.
std::string WhyNoAcls(const std::string& folder);

// Runs `check` in a child process as the user nobody (group nogroup) and
// gives its result. Needs root; the caller skips otherwise.
bool RunsAsRoot();
bool AsNobody(const std::function<bool()>& check);

}  // namespace slv2::test
