#include "sys/registry/RegScriptFile.h"

#include <cstdio>
#include <memory>

#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::reg {
namespace {

// How much of the file is read at a time; a line longer than this (a long
// hex list) widens the window to hold it whole.
constexpr size_t kWindow = 1 << 20;

// The file's decoded text in pieces that end at a line's end.
class ScriptFileText {
 public:
  explicit ScriptFileText(const std::string& fileName)
      : file_(fs::FileHandle::Open(fileName, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting)) {
    if (!file_.Valid()) error_ = fs::LastError();
  }

  uint32_t Error() const { return error_; }

  bool Next(std::u16string& text) {
    while (error_ == kErrorSuccess && !end_) {
      size_t cut = LineEnds();
      if (cut > 0 && (bytes_.size() >= kWindow || cut == bytes_.size())) {
        text = DecodeScriptText(std::string_view(bytes_).substr(0, cut), encoding_);
        bytes_.erase(0, cut);
        return true;
      }
      Read();
    }
    if (error_ != kErrorSuccess || bytes_.empty()) return false;
    text = DecodeScriptText(bytes_, encoding_);
    bytes_.clear();
    return true;
  }

 private:
  // The bytes up to the last line end held, 0 when none is.
  size_t LineEnds() const {
    if (encoding_ != ScriptEncoding::kUtf16) return bytes_.find_last_of('\n') + 1;
    for (size_t i = bytes_.size() & ~size_t{1}; i >= 2; i -= 2) {
      if (bytes_[i - 2] == '\n' && bytes_[i - 1] == '\0') return i;
    }
    return 0;
  }

  void Read() {
    size_t held = bytes_.size();
    bytes_.resize(held + kWindow);
    size_t done = 0;
    if (!file_.ReadAt(offset_, bytes_.data() + held, kWindow, &done)) {
      error_ = fs::LastError();
      done = 0;
    }
    bytes_.resize(held + done);
    end_ = done == 0;
    if (offset_ == 0) {
      size_t mark = 0;
      encoding_ = DetectScriptEncoding(bytes_, &mark);
      bytes_.erase(0, mark);
    }
    offset_ += done;
  }

  fs::FileHandle file_;
  uint32_t error_ = kErrorSuccess;
  ScriptEncoding encoding_ = ScriptEncoding::kAnsi;
  std::string bytes_;
  uint64_t offset_ = 0;
  bool end_ = false;
};

}  // namespace

ScriptImport ImportRegScriptFile(const std::string& fileName) {
  ScriptImport result;
  ScriptFileText text(fileName);
  if ((result.error = text.Error()) != kErrorSuccess) return result;
  Transaction transaction;
  std::unique_ptr<ScriptApplier> applier;
  result.isScript = ParseRegScriptText([&](std::u16string& piece) { return text.Next(piece); },
                                       [&](const ScriptAction& action) {
                                         // The transaction starts with the first change: a file
                                         // that is not a script never waits for the registry.
                                         if (!applier && result.error == kErrorSuccess) {
                                           result.error = transaction.Begin();
                                           if (result.error == kErrorSuccess)
                                             applier =
                                                 std::make_unique<ScriptApplier>(result.warnings);
                                         }
                                         if (applier) applier->Apply(action);
                                       },
                                       &result.warnings);
  if (result.error == kErrorSuccess) result.error = text.Error();
  if (applier && result.error == kErrorSuccess) result.error = transaction.Commit();
  return result;
}

bool ImportRegScriptFileReporting(const std::string& fileName) {
  ScriptImport import = ImportRegScriptFile(fileName);
  std::string shown = AnsiToUtf8(fileName);
  for (const ScriptWarning& w : import.warnings) {
    std::fprintf(stderr, "regedit: %s:%zu: %s\n", shown.c_str(), w.line, w.message.c_str());
  }
  std::string failure;
  if (import.error != kErrorSuccess) {
    failure = "nothing imported: " + SysErrorMessage(import.error);
  } else if (!import.isScript) {
    failure = "not a registry script, nothing imported";
  }
  if (!failure.empty()) std::fprintf(stderr, "regedit: %s: %s\n", shown.c_str(), failure.c_str());
  return failure.empty();
}

}  // namespace slv2::reg
