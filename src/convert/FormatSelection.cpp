#include "convert/FormatSelection.h"
#include "appcore/FileNames.h"
#include "appcore/GridLayout.h"

namespace convert {
namespace {

// Format buttons on a class page.
constexpr int kFormatLeft = 10;
constexpr int kFormatTop = 5;
constexpr int kFormatWidth = 62;
constexpr int kFormatHeight = 57;
constexpr int kFormatVerticalGap = 3;
constexpr int kFormatHorizontalGap = 2;
// Class buttons on step 2.
constexpr int kClassLeft = 18;
constexpr int kClassTop = 135;
constexpr int kClassWidth = 171;
constexpr int kClassHeight = 32;

}  // namespace

OfferedFormats AllFormatsOffered() {
  OfferedFormats offered;
  offered.fill(true);
  return offered;
}

OfferedFormats OfferedFormatsFrom(const std::function<bool(std::string_view brandingKey)>& flag) {
  OfferedFormats offered{};
  for (int i = 0; i < kFormatCount; ++i) offered[i] = flag(Catalogue()[i].brandingKey);
  return offered;
}

OfferedFormats OfferedFormatsFrom(const app::BrandingConfig& branding) {
  return OfferedFormatsFrom([&](std::string_view key) {
    const bool* flag = app::BrandingFormatFlag(branding, key);
    return flag != nullptr && *flag;
  });
}

FormatLayout LayoutOfferedFormats(const OfferedFormats& offered, int classPageWidth,
                                  int step2PageWidth) {
  FormatLayout layout;
  std::array<int, kFormatClassCount> slotsUsed{};
  for (int i = 0; i < kFormatCount; ++i) {
    if (!offered[i]) continue;
    const int formatClass = Catalogue()[i].formatClass;
    const int slot = slotsUsed[formatClass]++;
    layout.formatButtons[i].visible = true;
    layout.formatButtons[i].slot =
        app::GridCellRect(classPageWidth, kFormatTop, kFormatLeft, slot, kFormatWidth,
                          kFormatHeight, kFormatVerticalGap, kFormatHorizontalGap);
  }

  int visibleClasses = 0;
  for (int c = 0; c < kFormatClassCount; ++c) {
    if (slotsUsed[c] == 0) continue;
    layout.classButtons[c].visible = true;
    layout.classButtons[c].slot = app::GridCellRect(
        step2PageWidth, kClassTop, kClassLeft, visibleClasses++, kClassWidth, kClassHeight, 0, 0);
  }
  // A single class needs no buttons to switch between classes: its page moves up instead.
  if (visibleClasses == 1) {
    for (ButtonPlacement& button : layout.classButtons) button = ButtonPlacement{};
    layout.pageControlTop = kPageControlTopSingleClass;
  } else {
    layout.pageControlTop = kPageControlTopWithClasses;
  }
  return layout;
}

const FormatLayout& FormatSelection::ApplyOfferedFormats(const OfferedFormats& offered,
                                                         int classPageWidth, int step2PageWidth) {
  offered_ = offered;
  layout_ = LayoutOfferedFormats(offered, classPageWidth, step2PageWidth);
  return layout_;
}

bool FormatSelection::ClassOffered(int formatClass) const {
  for (int code = 0; code < FormatCount(formatClass); ++code) {
    if (offered_[CatalogueIndex(formatClass, code)]) return true;
  }
  return false;
}

void FormatSelection::SelectClass(int formatClass) {
  if (formatClass < 0 || formatClass >= kFormatClassCount) return;
  view_.disabledClass = formatClass;
  view_.shownClass = formatClass;
  settings_.OutputFormatClass = static_cast<uint8_t>(formatClass);
}

void FormatSelection::SelectFormat(int formatClass, int code) {
  if (CatalogueIndex(formatClass, code) < 0) return;
  view_.disabledFormat[formatClass] = code;
  view_.frontList[formatClass] = code;
  settings_.*CurrentFormatField(formatClass) = static_cast<uint8_t>(code);
}

void FormatSelection::ShowSelection() {
  view_.outputDir = settings_.OutputFileDir;

  int formatClass = settings_.OutputFormatClass;
  // An edition that offers a single class shows no class buttons. A stored class without
  // offered formats (left by an earlier edition of the same name) would then show an empty
  // page the user cannot leave and convert to a format the user never saw: take the one
  // offered class instead.
  if (formatClass >= kFormatClassCount || !ClassOffered(formatClass)) {
    int onlyOffered = -1;
    int offeredClasses = 0;
    for (int c = 0; c < kFormatClassCount; ++c) {
      if (ClassOffered(c)) {
        onlyOffered = c;
        ++offeredClasses;
      }
    }
    if (offeredClasses == 1) formatClass = onlyOffered;
  }
  if (formatClass < kFormatClassCount) {
    SelectClass(formatClass);
  } else {
    view_.disabledClass = -1;
  }

  for (int c = 0; c < kFormatClassCount; ++c) {
    const int code = CurrentFormatCode(settings_, c);
    if (CatalogueIndex(c, code) >= 0) {
      SelectFormat(c, code);
    } else {
      view_.disabledFormat[c] = -1;  // no button of the class marks a current choice
    }
  }

  for (int i = 0; i < kFormatCount; ++i) {
    const FormatInfo& format = Catalogue()[i];
    const int stored = settings_.*format.presetField;
    view_.presetIndex[i] = (stored >= 0 && stored < format.PresetCount()) ? stored : -1;
  }
}

void FormatSelection::ReadSelection() {
  settings_.OutputFileDir = app::WithTrailingSeparator(view_.outputDir);
  for (int i = 0; i < kFormatCount; ++i) {
    settings_.*Catalogue()[i].presetField = view_.presetIndex[i];
  }
}

}  // namespace convert
