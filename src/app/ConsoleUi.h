// The terminal front end of --console and --quiet: memo lines go to the
// output as UTF-8, each shown as soon as it is written (an appended "OK"
// completes the line in place); message boxes go to the error stream as
// their caption and text. With prompts, a box with Cancel asks on the error
// stream and reads the answer: an empty line or "o"/"ok" is OK, "c"/"cancel"
// is Cancel, and the end of the input closes the box (Cancel). Without
// prompts the box is answered at once: OK when it has no Cancel, else Cancel.
#pragma once

#include <iosfwd>

#include "app/UpdateUi.h"

namespace slv2 {

class TConsoleUi : public TUpdateUi {
 public:
  TConsoleUi(std::ostream& out, std::ostream& err, std::istream& in, bool prompts);
  ~TConsoleUi() override;

  void AddLine(const std::string& text) override;
  void AppendToLastLine(const std::string& text) override;
  TBoxAnswer ShowMessageBox(const TMessageBox& box) override;
  void ShowError(const std::string& message) override;
  void ProcessMessages() override;
  void ShowState(TSessionState) override {}
  void Terminate() override {}

 private:
  // Ends the memo line being written, before anything else is printed.
  void EndLine();
  TBoxAnswer Ask();

  std::ostream& FOut;
  std::ostream& FErr;
  std::istream& FIn;
  bool FPrompts;
  bool FLineOpen = false;
};

}  // namespace slv2

namespace slv2 {

struct TSessionOptions;

// --console and --quiet: the start-up sequence and, when it leaves the
// session ready, the run, on the process's terminal. Returns the exit status.
int RunConsole(TSessionOptions options, bool prompts);

}  // namespace slv2
