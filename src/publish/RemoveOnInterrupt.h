// What the publisher's tool leaves on disk while it works (scratch folders,
// a storage not yet in its place) goes when the tool is interrupted, as it
// goes when the work ends: each such path is registered for its life, and
// the interruption's handler removes every registered path before the
// process ends.
#pragma once

#include <string>

namespace slv2::publish {

class TRemoveOnInterrupt {
 public:
  explicit TRemoveOnInterrupt(std::string path);
  ~TRemoveOnInterrupt();
  TRemoveOnInterrupt(const TRemoveOnInterrupt&) = delete;
  TRemoveOnInterrupt& operator=(const TRemoveOnInterrupt&) = delete;

 private:
  std::string path_;
};

// `hook` runs once, before the first path is registered (the tool starts
// there what will remove the paths), so that work registering none pays
// nothing for it. Set before any registration.
void BeforeFirstRegistration(void (*hook)());

// Removes every registered file and folder tree; later registrations wait
// for ever, since the process is about to end. Called from the handler's
// own thread, never from a signal handler.
void RemoveRegisteredPaths();

}  // namespace slv2::publish
