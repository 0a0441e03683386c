// The main window's design, shared by every window implementation: captions
// (program text, "&" marks the access key) and the geometry in pixels, with
// the font's height of 11 pixels (Arial 8 point) and no scaling with the
// screen's pixel density.
#pragma once

#include <string>

namespace slv2::design {

// The window caption, also the application's title.
const std::string& ApplicationTitle();
const std::string& LogLabelCaption();     // lblLog
const std::string& RunButtonCaption();    // btnRun, the default button (Enter)
const std::string& CloseButtonCaption();  // btnClose, the cancel button (Esc)

struct TRect {
  int left, top, width, height;
};

// Client area at design time; the frame adds 8 x 34 (outer 467 x 264).
inline constexpr int kClientWidth = 459;
inline constexpr int kClientHeight = 230;
// The smallest outer size, 370 x 165, as a client size.
inline constexpr int kMinClientWidth = 370 - 8;
inline constexpr int kMinClientHeight = 165 - 34;

inline constexpr int kLabelPanelHeight = 25;      // pnlLbl, along the top of pnlMain
inline constexpr int kButtonPanelHeight = 41;     // pnlBtns, along the bottom
inline constexpr TRect kLogLabel = {8, 6, 0, 0};  // lblLog: position only, sized to its text
// Both buttons keep their distance to the right edge of pnlBtns.
inline constexpr TRect kRunButton = {215, 8, 151, 25};
inline constexpr TRect kCloseButton = {375, 8, 75, 25};

inline constexpr const char* kFontFace = "Arial";
inline constexpr int kFontPixelHeight = 11;

}  // namespace slv2::design
