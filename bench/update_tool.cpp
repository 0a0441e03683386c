// Runs one product update as the program does: the updater of the product
// "bench", created from the registry that SLV2_REGISTRY names, is given the
// storage and executed. Error lines of its log go to standard error; the
// exit status is 1 when there was one.
//
//   update_tool STORAGE.stg
#include <cstdio>
#include <memory>

#include "log/LogAppender.h"
#include "log/LogHierarchy.h"
#include "updater/Slv2Updater.h"

namespace {

using namespace slv2;

class TBenchUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class() {
    static const TSlv2UpdaterClass type("TBenchUpdater", "bench", "Bench", "", false,
                                        MakeUpdater<TBenchUpdater>);
    return type;
  }
  explicit TBenchUpdater(const TSlv2UpdaterClass& type) : TSlv2Updater(type) {}
};

class StderrAppender : public TLogAppender {
 public:
  int errors = 0;

 protected:
  void Write(const std::string& text) override {
    ++errors;
    std::fputs(text.c_str(), stderr);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: update_tool STORAGE.stg\n", stderr);
    return 2;
  }
  auto errors = std::make_shared<StderrAppender>();
  TLogHierarchy::Default().GetCategory("TBenchUpdater").AddAppender(errors);
  try {
    std::unique_ptr<TSlv2Updater> updater = TBenchUpdater::Class().Create();
    if (updater->ProductRoot().empty()) {
      std::fputs("update_tool: the product \"bench\" is not installed\n", stderr);
      return 2;
    }
    updater->SetStorageFileName(argv[1]);
    updater->Execute();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "update_tool: %s (%s)\n", ExceptionClassName(e),
                 ExceptionMessage(e).c_str());
    return 1;
  }
  return errors->errors == 0 ? 0 : 1;
}
