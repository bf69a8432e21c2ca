#pragma once
// What step 2's format picker shows, kept apart from the widgets so that the layout and the
// selection rules can be checked without a window: which format and class buttons are
// visible and where, which button of each class marks the current choice, which preset list
// is in front and what each list has selected. Plain C++.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "appcore/AppSettings.h"
#include "appcore/Branding.h"
#include "appcore/GridLayout.h"
#include "convert/FormatCatalogue.h"

namespace convert {

// One flag per format in catalogue order: true when the edition offers it.
using OfferedFormats = std::array<bool, kFormatCount>;

OfferedFormats AllFormatsOffered();

// Builds the flags from a lookup of the branding keys ("AVI", "IPOD", ...).
OfferedFormats OfferedFormatsFrom(const std::function<bool(std::string_view brandingKey)>& flag);
// The flags of the edition's branding.
OfferedFormats OfferedFormatsFrom(const app::BrandingConfig& branding);

// Designed sizes of step 2 and of a class page's client area.
constexpr int kStep2PageWidth = 553;
constexpr int kClassPageWidth = 529;
// Top of the format page control with and without the class buttons above it.
constexpr int kPageControlTopWithClasses = 172;
constexpr int kPageControlTopSingleClass = 120;

struct ButtonPlacement {
  bool visible = false;
  app::Rect slot;  // from the grid, gaps included in right and bottom; empty when hidden
};

struct FormatLayout {
  std::array<ButtonPlacement, kFormatCount> formatButtons;      // catalogue order, page coordinates
  std::array<ButtonPlacement, kFormatClassCount> classButtons;  // step 2 coordinates
  int pageControlTop = kPageControlTopWithClasses;
};

// Shows or hides every button for the offered formats and lays the visible ones out.
FormatLayout LayoutOfferedFormats(const OfferedFormats& offered,
                                  int classPageWidth = kClassPageWidth,
                                  int step2PageWidth = kStep2PageWidth);

// The state of the picker's controls.
struct SelectionView {
  int shownClass = fcVideo;  // page in front
  int disabledClass = -1;    // class button marked as current, -1 none
  std::array<int, kFormatClassCount> disabledFormat{-1, -1, -1};  // code per class, -1 none
  std::array<int, kFormatClassCount> frontList{-1, -1, -1};  // code of the raised list per class
  std::array<int, kFormatCount> presetIndex{};  // selected index per list, -1 no selection
  std::string outputDir;                        // text of the output-folder box

  SelectionView() { presetIndex.fill(-1); }
};

// The selection rules over the settings. Clicks change the settings at once; the folder and
// the presets are taken only when step 2 is left with Next (ReadSelection).
class FormatSelection {
 public:
  explicit FormatSelection(app::AppSettings& settings) : settings_(settings) {}

  const FormatLayout& ApplyOfferedFormats(const OfferedFormats& offered,
                                          int classPageWidth = kClassPageWidth,
                                          int step2PageWidth = kStep2PageWidth);
  const FormatLayout& Layout() const { return layout_; }

  // A class button's click; a class out of range is ignored.
  void SelectClass(int formatClass);
  // A format button's click; a code out of range is ignored.
  void SelectFormat(int formatClass, int code);
  // Entering step 2: the stored choice goes into the controls.
  void ShowSelection();
  // Next on step 2: the controls' folder text (with a trailing "/") and every list's
  // selected index, -1 included, go into the settings.
  void ReadSelection();

  // The controls, for the widgets to show; the widgets write the user's edits back here.
  const SelectionView& View() const { return view_; }
  SelectionView& MutableView() { return view_; }

  app::AppSettings& Settings() { return settings_; }

 private:
  bool ClassOffered(int formatClass) const;

  app::AppSettings& settings_;
  FormatLayout layout_;
  OfferedFormats offered_{};
  SelectionView view_;
};

}  // namespace convert
