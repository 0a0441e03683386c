// Durability of many replaced files at once. Flushing each new file and its
// folder on its own costs one journal commit per file, which dominates an
// update of thousands of small files; these calls let the updater write a
// batch of new files, make them durable together, rename each over its
// target (each rename atomic), and make the renames durable together.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slv2::filesync {

// Makes the content of every file durable; false when one could not be
// flushed (fs::LastError() then tells why).
bool FlushFiles(const std::vector<std::string>& files);
// Makes the entries of every folder (the renames into them) durable.
bool FlushFolders(const std::vector<std::string>& folders);
// Renames `from` over `to` in one atomic step, not yet durably. Fails, as
// fs::ReplaceFile does, when `to` is read-only or a folder.
bool RenameOver(std::string_view from, std::string_view to);

}  // namespace slv2::filesync
