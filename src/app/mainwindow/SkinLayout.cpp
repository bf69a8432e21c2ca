#include "app/mainwindow/SkinLayout.h"

namespace app {

SkinLayout DesignTimeLayout() {
  SkinLayout l;
  l.buttonMin = {696, 4};
  l.buttonClose = {728, 4};
  l.buttonHelp = {40, 510};
  l.buttonLog = {138, 510};
  l.backLeft = 426;
  l.nextLeft = 522;
  l.exitLeft = 672;
  l.bottomTop = 510;
  l.pageControl = {203, 74};
  l.labelTitle = {24, 43};
  return l;
}

std::optional<SkinLayout> SkinLayoutFor(int skin) {
  SkinLayout l = DesignTimeLayout();
  switch (skin) {
    case 0:
      return l;
    case 1:
      l.buttonMin = {766, 3};
      l.buttonClose = {794, 3};
      l.buttonHelp = {25, 566};
      l.buttonLog = {120, 566};
      l.backLeft = 400;
      l.nextLeft = 495;
      l.exitLeft = 730;
      l.bottomTop = 566;
      l.pageControl = {240, 110};
      l.labelTitle = {252, 70};
      l.lightLabels = true;
      return l;
    case 2:
      l.buttonMin = {696, 6};
      l.buttonClose = {728, 4};
      l.buttonHelp = {40, 513};
      l.helpMenuOffset = 5;
      l.buttonLog = {138, 513};
      l.bottomTop = 513;
      l.pageControl = {198, 74};
      return l;
    case 3:
      l.captionButtonsVisible = false;
      l.buttonHelp = {10, 515};
      l.buttonLog = {120, 515};
      l.backLeft = 350;
      l.nextLeft = 460;
      l.exitLeft = 665;
      l.bottomTop = 515;
      l.pageControl = {203, 74};
      l.labelTitle = {215, 55};
      l.titleBold = false;
      l.lightLabels = true;
      l.labelVersionTop = 165;
      l.labelMoreToolsTop = 180;
      l.transparentBottomButtons = true;
      l.aboutShowsLeftImage = false;
      return l;
    default:
      return std::nullopt;
  }
}

}  // namespace app
