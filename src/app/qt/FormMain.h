// The main window on Linux (Qt Widgets): the protocol memo above two buttons.
// It runs the update session (app/UpdateSession.h) when it is first shown;
// the run button (or Enter) runs the update once; the close button, Esc or
// the frame close it except during the run. Controls carry their names as
// object names (pnlMain, pnlLbl, lblLog, pnlMemo, meLog, pnlBtns, btnRun,
// btnClose). Program text is converted to UTF-8 at this boundary.
#pragma once

#include <QWidget>
#include <initializer_list>
#include <memory>

#include "app/UpdateSession.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace slv2 {

class TFormMain : public QWidget, public TUpdateUi {
 public:
  explicit TFormMain(TSessionOptions options);
  ~TFormMain() override;

  const TUpdateSession& Session() const { return *FSession; }

  // The handlers of the window's events.
  void FormShow();
  void btnRunClick();
  void btnCloseClick();
  bool FormCloseQuery() const;

  // TUpdateUi.
  void AddLine(const std::string& text) override;
  void AppendToLastLine(const std::string& text) override;
  TBoxAnswer ShowMessageBox(const TMessageBox& box) override;
  void ShowError(const std::string& message) override;
  void ProcessMessages() override;
  void ShowState(TSessionState state) override;
  void Terminate() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  static void EnableControls(std::initializer_list<QWidget*> controls, bool enabled);

  QPlainTextEdit* meLog = nullptr;
  QPushButton* btnRun = nullptr;
  QPushButton* btnClose = nullptr;
  std::unique_ptr<TUpdateSession> FSession;
  int FLineCount = 0;
  bool FShown = false;
};

}  // namespace slv2
