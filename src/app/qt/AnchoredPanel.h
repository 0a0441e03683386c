// A panel whose children keep their distance to its right edge when it is
// resized, as controls anchored to the top and right edge do.
#pragma once

#include <QWidget>
#include <vector>

namespace slv2 {

class TAnchoredPanel : public QWidget {
 public:
  // The panel's width at design time, against which the children's
  // positions are given.
  TAnchoredPanel(QWidget* parent, int designWidth);

  // Places the child at its design position and keeps its right distance.
  void AnchorTopRight(QWidget* child, int left, int top, int width, int height);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct TAnchor {
    QWidget* child;
    int rightDistance;
  };
  int FDesignWidth;
  std::vector<TAnchor> FAnchors;
};

}  // namespace slv2
