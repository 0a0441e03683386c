// The main window of this platform's toolkit, driven as its user drives it,
// for the one window test of both toolkits: each control read back from the
// toolkit (texts in UTF-8, line breaks as the toolkit keeps them), keys and
// the frame's close sent to it, the message box an action shows answered.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/UpdateSession.h"

namespace slv2::test {

enum class TControl { Form, Label, Memo, Run, Close };
enum class TKey { Enter, Esc, FrameClose };  // Enter typed in the memo

// How the memo and a box's text break their lines.
extern const char* const kMemoLineBreak;
extern const char* const kBoxLineBreak;

struct TSeenControl {
  std::string text;
  bool visible, enabled, focused;
  int left, top, right, bottom;  // in the window's client area
};

struct TSeenBox {
  std::string caption, text;
};

class TWindowDriver {
 public:
  // Creates the window, hidden.
  explicit TWindowDriver(TSessionOptions options);

  TUpdateUi& Ui() { return *FForm; }
  // Shows the window; its start-up follows from the message loop.
  void Show();
  TSeenControl See(TControl control) const;
  // Grows the client area by so many pixels.
  void Grow(int width, int height);
  void Press(TKey key);
  // Runs the action and presses `answer` on the box it shows.
  TSeenBox Answer(TBoxAnswer answer, const std::function<void()>& action);

 private:
  std::unique_ptr<TUpdateUi> FForm;
};

}  // namespace slv2::test
