// The message boxes of the program: identifier, kind, buttons and text.
// A line break in a text is a single carriage return; a blank line between
// paragraphs is a line holding one space.
#pragma once

#include <string>

namespace slv2 {

enum class TBoxId {
  AdminRights = 65184,      // the user lacks administrative rights
  UpdateFinished = 65185,   // a run has finished
  NothingToUpdate = 65186,  // no product to update
  ShellRunning = 65187,     // the shell program is running
  AlreadyRunning = 65188,   // another update runs on this machine
};

enum class TBoxKind { Warning, Information };
enum class TBoxAnswer { Ok, Cancel };

struct TMessageBox {
  TBoxId id;
  TBoxKind kind;
  bool hasCancel;    // OK and Cancel; otherwise OK alone
  std::string text;  // program text
};

const TMessageBox& MessageBoxOf(TBoxId id);

// The standard caption of the box kind: "Warning" or "Information".
const char* BoxCaption(TBoxKind kind);

}  // namespace slv2
