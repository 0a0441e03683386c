// What the run report tells of a product beyond its run, for an
// administrator comparing many machines: a key unique per updater (the shell
// has two: "main" and "main-finish"; a data storage goes by its own name),
// the storage's SHA-256, and the product's version in the registry before
// and after the run; and why a run found nothing to update.
#pragma once

#include <string>
#include <vector>

#include "app/RunReport.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

std::string ReportKey(const TSlv2UpdaterClass& type);

// Fills the key, the storage's checksum and the version before the run.
void DescribeProduct(const TSlv2UpdaterClass& type, TProductReport& product);

// The versions after the run; a dry run changes none, so they stay unsaid.
void RecordVersionsAfter(TRunReport& report);

// The reason of exit status 1642, for the report's top level.
std::string NothingToUpdateReason(const std::vector<const TSlv2UpdaterClass*>& catalogue,
                                  const std::string& packageFolder);

}  // namespace slv2
