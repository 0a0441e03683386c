// The shell's folder tree opened to all users.
#include "log/LogCategory.h"
#include "products/Slv2MainUpdater.h"
#include "products/TreeRights.h"
#include "sys/Format.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {

void TSlv2MainUpdater::allowSlvFilesForEveryone() {
  const char* self = "allowSlvFilesForEveryone";
  try {
    if (!CheckFolder(self, "shell folder", Slv21Root())) return;
    TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, Slv21Root(),
                         "full control for everyone on the folder tree");
    if (DryRun()) return Record(self, std::move(outcome));
    // An entry that keeps its rights is told but does not fail the update:
    // the tree stays usable, and its rights are the administrator's to see.
    TreeRightsEvents events;
    events.check = [] { cancel::CheckPoint(); };
    events.warning = [this, self](const std::string& message) {
      Logger().Warn(Format("%s(): %s", self, message.c_str()));
    };
    events.failure = events.warning;
    if (!OpenTreeToEveryone(Slv21Root(), *FSecurityApi, events)) {
      Logger().Error(Format("%s(): the folder tree was not walked to its end", self));
      return;
    }
    Record(self, std::move(outcome));
    Logger().Debug(Format("%s() succeeded", self));
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

}  // namespace slv2
