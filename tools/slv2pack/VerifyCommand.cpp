// slv2pack verify OLD_DIR NEW_DIR STORAGE [--product ID]: runs the updater on
// a scratch copy of OLD with the storage and compares the result with NEW.
#include "Command.h"
#include "PublishCommands.h"

namespace slv2::pack {

namespace {

int Verify(const std::vector<std::string>& args) {
  TArguments parsed;
  if (!ParsePublishArguments(args, {"--product=", "--follow-links"}, 3, &parsed)) {
    return ArgumentError("verify", parsed);
  }
  const std::string& storage = parsed.positional[2];
  std::string product =
      parsed.Has("--product") ? parsed.Value("--product") : DefaultProductId(storage);
  publish::TVerifyResult result =
      publish::VerifyUpdate(parsed.positional[0], parsed.positional[1], storage,
                            {product, {}, parsed.Has("--follow-links")});
  return ReportVerification(result, product);
}

}  // namespace
}  // namespace slv2::pack

SLV2PACK_COMMAND(verify, "verify", "OLD_DIR NEW_DIR STORAGE [--product ID] [--follow-links]",
                 slv2::pack::Verify)
