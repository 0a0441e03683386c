// What the start-up sequence and the run need from a user interface: the
// protocol memo, modal message boxes, the window's state and the end of the
// program. The Qt window, the console front end and the Windows window each
// implement it; the logic behind it (UpdateSession.h) stays platform-free.
// Every text crossing this interface is program text (Windows-1251).
#pragma once

#include <string>

#include "app/MessageBoxes.h"

namespace slv2 {

// The states of the main window.
enum class TSessionState {
  Checking,    // the start-up sequence runs; nothing can be started
  Ready,       // the run may start; the window may close
  Running,     // both buttons disabled, no close
  Done,        // the run is over: only closing is left
  Terminated,  // a start-up check ended the program
};

class TUpdateUi {
 public:
  virtual ~TUpdateUi() = default;

  // Appends a line to the protocol memo.
  virtual void AddLine(const std::string& text) = 0;
  // Appends the text to the memo's last line.
  virtual void AppendToLastLine(const std::string& text) = 0;
  // Shows the box modally and returns the button chosen; closing the box
  // counts as its last button (Cancel when it has one).
  virtual TBoxAnswer ShowMessageBox(const TMessageBox& box) = 0;
  // Reports an error that ended the start-up, as the framework reports an
  // exception nobody handled: the message alone.
  virtual void ShowError(const std::string& message) = 0;
  // Handles the window messages that are waiting, so that the window stays
  // painted during long work.
  virtual void ProcessMessages() = 0;
  // Enables and focuses the controls of the state.
  virtual void ShowState(TSessionState state) = 0;
  // Asks the program to end at the next turn of its message loop.
  virtual void Terminate() = 0;
};

}  // namespace slv2
