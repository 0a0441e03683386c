// The checks `make` runs on a plan before any work: what the storage could
// not carry, and signs that OLD and NEW are not the releases the publisher
// meant (swapped, one folder too deep, the same release twice).
#pragma once

#include <string>
#include <vector>

#include "publish/UpdatePlan.h"

namespace slv2::publish {

struct TPlanCheck {
  // "<part>/<path>: <why>", one per offender.
  std::vector<std::string> problems;
  // Doubts about the releases themselves.
  std::vector<std::string> warnings;
  bool nothingToUpdate = false;  // OLD and NEW hold the same files
};

TPlanCheck CheckPlan(const std::vector<TFilePlan>& plan);

}  // namespace slv2::publish
