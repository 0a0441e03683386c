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
    // An entry left out on purpose (another user's file linked in) is a
    // warning; one whose rights could not be given is an error, since the
    // update did not do what it should there.
    TreeRightsEvents events;
    events.check = [] { cancel::CheckPoint(); };
    events.warning = [this, self](const std::string& message) {
      Warning(Format("%s(): %s", self, message.c_str()));
    };
    events.failure = [this, self](const std::string& message) {
      Logger().Error(Format("%s(): %s", self, message.c_str()));
    };
    if (!Effects().SetRights([&] { return OpenTreeToEveryone(Slv21Root(), *FSecurityApi, events); },
                             std::move(outcome))) {
      Logger().Error(Format("%s(): the folder tree was not walked to its end", self));
      return;
    }
    Logger().Debug(Format("%s() succeeded", self));
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

}  // namespace slv2
