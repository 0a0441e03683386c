// "Delete_After.ini" of an update: what NEW dropped from the product folder,
// merged into the publisher's own list when there is one.
#pragma once

#include <string>
#include <vector>

#include "publish/UpdatePlan.h"

namespace slv2::publish {

// The entries for the removed files of the plan, relative to the product
// folder with "\" between names: a folder of which NEW keeps nothing goes as
// one entry (the updater deletes it with everything in it), other files one
// by one.
std::vector<std::string> DeletionEntries(const std::vector<TFilePlan>& plan,
                                         const TFileTree& newProduct);

// The ini text with the entries added to its section "Files" (made at its
// end when missing), numbered after the section's highest number; entries it
// already lists are not repeated. Lines end with CR LF.
std::string MergeDeletionEntries(const std::string& iniText,
                                 const std::vector<std::string>& entries);

}  // namespace slv2::publish
