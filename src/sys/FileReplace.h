// The one way a file's content is replaced: the new content, complete in a
// temporary file beside the target, is renamed over it in one atomic step,
// so that the target is never seen half-written whatever happens to the
// process. The new file keeps the target's rights (FileLayer.h: owner,
// permission bits, access list). A read-only target is replaced too, by a
// file that is not read-only, so that later steps can edit or delete it;
// when the rename fails the target keeps its content and its attribute.
#pragma once

#include <string_view>

namespace slv2::fs {

class NewFile;

// Durably (ReplaceFile). False on failure, with the platform's error code
// in LastError().
bool ReplaceFileContent(std::string_view from, std::string_view to);
// The same for a complete new file (NewFile::Place: not yet durably). A
// target that is not there is not looked at twice.
bool PlaceNewFile(NewFile& file, std::string_view to);

}  // namespace slv2::fs
