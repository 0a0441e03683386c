#include "app/qt/AnchoredPanel.h"

#include <QResizeEvent>

namespace slv2 {

TAnchoredPanel::TAnchoredPanel(QWidget* parent, int designWidth)
    : QWidget(parent), FDesignWidth(designWidth) {}

void TAnchoredPanel::AnchorTopRight(QWidget* child, int left, int top, int width, int height) {
  child->setGeometry(left, top, width, height);
  FAnchors.push_back({child, FDesignWidth - left - width});
}

void TAnchoredPanel::resizeEvent(QResizeEvent* event) {
  for (const TAnchor& anchor : FAnchors) {
    QWidget* child = anchor.child;
    child->move(event->size().width() - anchor.rightDistance - child->width(), child->y());
  }
  QWidget::resizeEvent(event);
}

}  // namespace slv2
