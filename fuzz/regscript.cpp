// The registry script parser on arbitrary bytes, and the exporter's promise:
// every value the parser yields, written as an export line, parses back to the
// same name, kind and data.
#include "sys/registry/RegScript.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "sys/registry/RegExport.h"

using namespace slv2::reg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegScript script = ParseRegScript(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const ScriptAction& action : script.actions) {
    if (action.kind != ScriptAction::kSetValue) continue;
    std::u16string body =
        u"[HKEY_CURRENT_USER\\Fuzz]\r\n" + FormatRegValue(action.name, action.type, action.data);
    RegScript again = ParseRegScript(RegScriptFileBytes(body));
    if (!again.warnings.empty() || again.actions.size() != 2) std::abort();
    const ScriptAction& back = again.actions[1];
    if (back.kind != ScriptAction::kSetValue || back.name != action.name ||
        back.type != action.type || back.data != action.data) {
      std::abort();
    }
  }
  return 0;
}
