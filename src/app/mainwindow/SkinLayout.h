#pragma once
// Where the window chrome goes for each of the four skin layouts. Plain data; the main
// window applies it. A skin number without a layout keeps the design-time positions,
// which are those of layout 0.

#include <optional>

namespace app {

struct Point {
  int left = 0;
  int top = 0;
};

struct SkinLayout {
  bool captionButtonsVisible = true;  // ButtonMin and ButtonClose
  Point buttonMin;
  Point buttonClose;
  Point buttonHelp;
  int helpMenuOffset = 0;  // ButtonHelp's tag: horizontal offset of the help menu
  Point buttonLog;
  int backLeft = 0, nextLeft = 0, exitLeft = 0, bottomTop = 0;
  Point pageControl;
  Point labelTitle;
  bool titleBold = true;
  bool lightLabels = false;            // LabelVersion / LabelMoreTools in white instead of grey
  std::optional<int> labelVersionTop;  // moved (and brought to front) in layout 3
  std::optional<int> labelMoreToolsTop;
  bool transparentBottomButtons = false;  // drawn without their image, white captions
  bool aboutShowsLeftImage = true;
};

// The layout for a skin number, or nothing for a number without one.
std::optional<SkinLayout> SkinLayoutFor(int skin);

// The positions the window is designed with (those of layout 0).
SkinLayout DesignTimeLayout();

}  // namespace app
