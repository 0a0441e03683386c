#include "app/qt/FormMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/MainWindowDesign.h"
#include "app/qt/AnchoredPanel.h"
#include "sys/Cp1251.h"

namespace slv2 {

namespace {

QString Q(const std::string& ansi) {
  std::string utf8 = AnsiToUtf8(ansi);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A panel without bevel, arranged by a vertical layout without margins.
QWidget* Panel(QWidget* parent, const char* name) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  return panel;
}

QVBoxLayout* Column(QWidget* panel) {
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return layout;
}

}  // namespace

TFormMain::TFormMain(TSessionOptions options)
    : FSession(std::make_unique<TUpdateSession>(*this, std::move(options))) {
  setObjectName("FormMain");
  setWindowTitle(Q(design::ApplicationTitle()));
  QFont font(design::kFontFace);
  font.setPixelSize(design::kFontPixelHeight);
  setFont(font);
  CreateControls();
  resize(design::kClientWidth, design::kClientHeight);
  setMinimumSize(design::kMinClientWidth, design::kMinClientHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), QSize(design::kClientWidth + 8, design::kClientHeight + 34));
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

TFormMain::~TFormMain() = default;

void TFormMain::CreateControls() {
  QVBoxLayout* client = Column(this);

  QWidget* pnlMain = Panel(this, "pnlMain");
  QVBoxLayout* mainColumn = Column(pnlMain);
  QWidget* pnlLbl = Panel(pnlMain, "pnlLbl");
  pnlLbl->setFixedHeight(design::kLabelPanelHeight);
  auto* lblLog = new QLabel(Q(design::LogLabelCaption()), pnlLbl);
  lblLog->setObjectName("lblLog");
  lblLog->move(design::kLogLabel.left, design::kLogLabel.top);
  lblLog->adjustSize();
  QWidget* pnlMemo = Panel(pnlMain, "pnlMemo");
  meLog = new QPlainTextEdit(pnlMemo);
  meLog->setObjectName("meLog");
  meLog->setReadOnly(true);
  meLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  meLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  meLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  meLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Column(pnlMemo)->addWidget(meLog);
  mainColumn->addWidget(pnlLbl);
  mainColumn->addWidget(pnlMemo, 1);

  auto* pnlBtns = new TAnchoredPanel(this, design::kClientWidth);
  pnlBtns->setObjectName("pnlBtns");
  pnlBtns->setFixedHeight(design::kButtonPanelHeight);
  btnRun = new QPushButton(Q(design::RunButtonCaption()), pnlBtns);
  btnRun->setObjectName("btnRun");
  btnClose = new QPushButton(Q(design::CloseButtonCaption()), pnlBtns);
  btnClose->setObjectName("btnClose");
  const design::TRect& run = design::kRunButton;
  const design::TRect& close = design::kCloseButton;
  pnlBtns->AnchorTopRight(btnRun, run.left, run.top, run.width, run.height);
  pnlBtns->AnchorTopRight(btnClose, close.left, close.top, close.width, close.height);
  // A focused button takes Enter; elsewhere Enter belongs to btnRun and Esc
  // to btnClose (keyPressEvent).
  btnRun->setAutoDefault(true);
  btnClose->setAutoDefault(true);
  setTabOrder(btnRun, btnClose);
  connect(btnRun, &QPushButton::clicked, this, [this] { btnRunClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });

  client->addWidget(pnlMain, 1);
  client->addWidget(pnlBtns);
  btnRun->setFocus();
}

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FShown) return;
  FShown = true;
  // After the window is on the screen, from the message loop.
  QMetaObject::invokeMethod(
      this, [this] { FormShow(); }, Qt::QueuedConnection);
}

void TFormMain::FormShow() {
  FSession->FormShow();
}

void TFormMain::btnRunClick() {
  FSession->RunUpdates();
}

void TFormMain::btnCloseClick() {
  close();
}

bool TFormMain::FormCloseQuery() const {
  return FSession->CanClose();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormMain::keyPressEvent(QKeyEvent* event) {
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::NoModifier) {
    if (btnRun->isEnabled()) btnRun->click();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    if (btnClose->isEnabled()) btnClose->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TFormMain::AddLine(const std::string& text) {
  // An empty memo already holds one empty line, which the first line takes.
  QTextCursor cursor(meLog->document());
  cursor.movePosition(QTextCursor::End);
  if (FLineCount++ > 0) cursor.insertBlock();
  cursor.insertText(Q(text));
  meLog->verticalScrollBar()->setValue(meLog->verticalScrollBar()->maximum());
}

void TFormMain::AppendToLastLine(const std::string& text) {
  QTextCursor cursor(meLog->document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock);
  cursor.insertText(Q(text));
  meLog->verticalScrollBar()->setValue(meLog->verticalScrollBar()->maximum());
}

TBoxAnswer TFormMain::ShowMessageBox(const TMessageBox& box) {
  QString text = Q(box.text);
  text.replace(QChar('\r'), QChar('\n'));
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if (box.hasCancel) buttons |= QMessageBox::Cancel;
  QMessageBox dialog(
      box.kind == TBoxKind::Warning ? QMessageBox::Warning : QMessageBox::Information,
      BoxCaption(box.kind), text, buttons, this);
  dialog.setObjectName(QString("box%1").arg(static_cast<int>(box.id)));
  dialog.setDefaultButton(QMessageBox::Ok);
  dialog.setEscapeButton(box.hasCancel ? QMessageBox::Cancel : QMessageBox::Ok);
  return dialog.exec() == QMessageBox::Ok ? TBoxAnswer::Ok : TBoxAnswer::Cancel;
}

void TFormMain::ShowError(const std::string& message) {
  QMessageBox dialog(QMessageBox::Critical, Q(design::ApplicationTitle()), Q(message),
                     QMessageBox::Ok, this);
  dialog.setObjectName("boxError");
  dialog.exec();
}

void TFormMain::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TFormMain::EnableControls(std::initializer_list<QWidget*> controls, bool enabled) {
  for (QWidget* control : controls)
    control->setEnabled(enabled);
}

void TFormMain::ShowState(TSessionState state) {
  bool ready = state == TSessionState::Ready;
  EnableControls({btnRun}, ready);
  EnableControls({btnClose}, ready || state == TSessionState::Done);
  if (ready) btnRun->setFocus();
  if (state == TSessionState::Done) btnClose->setFocus();
}

void TFormMain::Terminate() {
  // At the next turn of the message loop the window closes, and with the
  // last window the application ends.
  QMetaObject::invokeMethod(
      this, [this] { close(); }, Qt::QueuedConnection);
}

}  // namespace slv2
