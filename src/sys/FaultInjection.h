// Test-only fault injection in the platform file layer, the way trusted
// storage engines prove their recovery: a countdown after which the next
// matching file operation fails as a full disk or an I/O error would, and a
// switch that makes every file creation fail. Disarmed (the default) the
// hooks cost one atomic load per operation and change nothing.
#pragma once

#include <cstdint>

namespace slv2::fs::fault {

enum Operation : unsigned {
  kRead = 1,    // reading file content
  kWrite = 2,   // writing or resizing file content, making it durable
  kRename = 4,  // renames, replacements and copies
  kCreate = 8,  // creating files, folders and temporary files
  kAll = kRead | kWrite | kRename | kCreate,
};

// The `countdown`-th operation of the given kinds from now fails (1: the
// next one); the ones after it succeed again.
void Arm(int64_t countdown, unsigned operations = kAll);
void Disarm();
// While set, every creation of a file, folder or temporary file fails.
void SetCreationFails(bool fails);
// Operations of the armed kinds seen since the last Arm (or since start, for
// all kinds), failed ones included: a test runs once without a fault to
// learn how many fault points a job has.
int64_t Counted();
// Whether an injected fault has fired since the last Arm.
bool Fired();

// For the platform layers: true when this operation must fail.
bool ShouldFail(Operation operation);

}  // namespace slv2::fs::fault
