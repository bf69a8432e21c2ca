#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>

#include "convert/FormatSelection.h"

namespace convert {
namespace {

OfferedFormats Offer(std::initializer_list<const char*> names) {
  OfferedFormats offered{};
  for (const char* name : names) {
    const FormatInfo* format = FindFormatByName(name);
    EXPECT_NE(format, nullptr) << name;
    if (format) offered[CatalogueIndex(format->formatClass, format->code)] = true;
  }
  return offered;
}

OfferedFormats OfferAll() {
  OfferedFormats offered;
  offered.fill(true);
  return offered;
}

const ButtonPlacement& Button(const FormatLayout& layout, const char* name) {
  const FormatInfo* format = FindFormatByName(name);
  return layout.formatButtons[CatalogueIndex(format->formatClass, format->code)];
}

struct Slot {
  const char* name;
  int left;
  int top;
};

struct LayoutCase {
  const char* title;
  OfferedFormats offered;
  std::vector<Slot> visible;      // every other format button is hidden
  std::array<int, 3> classLefts;  // -1: hidden
  int pageControlTop;
};

TEST(FormatLayoutTest, ButtonsTakeSlotsInCatalogueOrder) {
  const LayoutCase cases[] = {
      {"only audio",
       Offer({"WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2"}),
       {{"WAV", 10, 5},
        {"MP3", 74, 5},
        {"WMA", 138, 5},
        {"OGG", 202, 5},
        {"AAC", 266, 5},
        {"M4A", 330, 5},
        {"FLAC", 394, 5},
        {"MP2", 458, 5}},
       {-1, -1, -1},
       120},
      {"AVI and 3GP side by side",
       Offer({"3GP", "AVI"}),
       {{"AVI", 10, 5}, {"3GP", 74, 5}},
       {-1, -1, -1},
       120},
      {"none offered", OfferedFormats{}, {}, {-1, -1, -1}, 172},
      {"every format",
       OfferAll(),
       {{"AVI", 10, 5},         {"MP4", 74, 5},          {"FLV", 138, 5},     {"SWF", 202, 5},
        {"MPEG", 266, 5},       {"RM", 330, 5},          {"WMV", 394, 5},     {"MOV", 458, 5},
        {"3GP", 10, 65},  // the ninth video button opens a second row
        {"iPod", 10, 5},        {"iPhone", 74, 5},       {"AppleTV", 138, 5}, {"PSP", 202, 5},
        {"BlackBerry", 266, 5}, {"MobilePhone", 330, 5}, {"iPad", 394, 5},    {"Android", 458, 5},
        {"WAV", 10, 5},         {"MP3", 74, 5},          {"WMA", 138, 5},     {"OGG", 202, 5},
        {"AAC", 266, 5},        {"M4A", 330, 5},         {"FLAC", 394, 5},    {"MP2", 458, 5}},
       {18, 189, 360},
       172},
      {"video and audio, the audio button moves up to the second slot",
       Offer({"MOV", "FLAC", "AAC"}),
       {{"MOV", 10, 5}, {"AAC", 10, 5}, {"FLAC", 74, 5}},
       {18, -1, 189},
       172},
      {"one device format", Offer({"Android"}), {{"Android", 10, 5}}, {-1, -1, -1}, 120},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.title);
    const FormatLayout layout = LayoutOfferedFormats(c.offered);
    std::set<std::string> expectedVisible;
    for (const Slot& slot : c.visible) {
      SCOPED_TRACE(slot.name);
      expectedVisible.insert(slot.name);
      const ButtonPlacement& button = Button(layout, slot.name);
      ASSERT_TRUE(button.visible);
      EXPECT_EQ(button.slot.left, slot.left);
      EXPECT_EQ(button.slot.top, slot.top);
      EXPECT_EQ(button.slot.right, slot.left + 62 + 2);
      EXPECT_EQ(button.slot.bottom, slot.top + 57 + 3);
    }
    for (const FormatInfo& format : Catalogue()) {
      if (!expectedVisible.count(std::string(format.name))) {
        EXPECT_FALSE(Button(layout, std::string(format.name).c_str()).visible) << format.name;
      }
    }
    for (int cls = 0; cls < kFormatClassCount; ++cls) {
      SCOPED_TRACE(cls);
      const ButtonPlacement& button = layout.classButtons[cls];
      EXPECT_EQ(button.visible, c.classLefts[cls] >= 0);
      if (button.visible) {
        EXPECT_EQ(button.slot, (app::Rect{c.classLefts[cls], 135, c.classLefts[cls] + 171, 167}));
      }
    }
    EXPECT_EQ(layout.pageControlTop, c.pageControlTop);
  }
}

TEST(FormatLayoutTest, ANarrowPageStacksTheButtonsInOneColumn) {
  const FormatLayout layout = LayoutOfferedFormats(Offer({"WAV", "MP3", "OGG"}), 70, 553);
  EXPECT_EQ(Button(layout, "WAV").slot.top, 5);
  EXPECT_EQ(Button(layout, "MP3").slot.top, 65);
  EXPECT_EQ(Button(layout, "OGG").slot.top, 125);
  EXPECT_EQ(Button(layout, "OGG").slot.left, 10);
}

TEST(FormatLayoutTest, FlagsComeFromTheBrandingKeys) {
  const std::set<std::string> keys = {"IPAD", "MP3", "3GP", "ANDROID"};
  const OfferedFormats offered =
      OfferedFormatsFrom([&](std::string_view key) { return keys.count(std::string(key)) > 0; });
  EXPECT_EQ(offered, Offer({"iPad", "MP3", "3GP", "Android"}));
  // Device keys are read in another order than the codes; the flags still follow the codes.
  EXPECT_TRUE(offered[CatalogueIndex(fcDevice, dfiPad)]);
  EXPECT_FALSE(offered[CatalogueIndex(fcDevice, dfiPhone)]);
}

TEST(FormatLayoutTest, FlagsComeFromTheEditionsBranding) {
  app::BrandingConfig branding;
  EXPECT_EQ(OfferedFormatsFrom(branding), OfferedFormats{});
  branding._3GP = true;  // the one key that is not a field name
  branding.IPAD = true;
  branding.MOBILEPHONE = true;
  branding.MP2 = true;
  EXPECT_EQ(OfferedFormatsFrom(branding), Offer({"3GP", "iPad", "MobilePhone", "MP2"}));
}

class FormatSelectionTest : public ::testing::Test {
 protected:
  app::AppSettings settings;
  FormatSelection selection{settings};
  int Index(const char* name) {
    const FormatInfo* format = FindFormatByName(name);
    return CatalogueIndex(format->formatClass, format->code);
  }
};

TEST_F(FormatSelectionTest, ClassClicksMarkTheClassAndStoreItAtOnce) {
  selection.SelectClass(fcDevice);
  EXPECT_EQ(settings.OutputFormatClass, fcDevice);
  EXPECT_EQ(selection.View().disabledClass, fcDevice);
  EXPECT_EQ(selection.View().shownClass, fcDevice);
  selection.SelectClass(fcAudio);
  EXPECT_EQ(selection.View().disabledClass, fcAudio);
  EXPECT_EQ(selection.View().shownClass, fcAudio);
  for (int bad : {3, -1, 255}) {
    selection.SelectClass(bad);
    EXPECT_EQ(settings.OutputFormatClass, fcAudio) << bad;
    EXPECT_EQ(selection.View().shownClass, fcAudio) << bad;
  }
}

TEST_F(FormatSelectionTest, FormatClicksMarkTheFormatOfTheirClassOnly) {
  settings.OutputVideoFormat = vfAVI;
  settings.OutputDeviceFormat = dfiPod;
  selection.SelectFormat(fcAudio, afM4A);
  EXPECT_EQ(settings.OutputAudioFormat, afM4A);
  EXPECT_EQ(selection.View().disabledFormat[fcAudio], afM4A);
  EXPECT_EQ(selection.View().frontList[fcAudio], afM4A);
  EXPECT_EQ(selection.View().disabledFormat[fcVideo], -1);
  EXPECT_EQ(settings.OutputVideoFormat, vfAVI);
  EXPECT_EQ(settings.OutputDeviceFormat, dfiPod);
  EXPECT_EQ(settings.OutputFormatClass, fcVideo);  // a format click does not switch classes

  selection.SelectFormat(fcAudio, afWAV);
  EXPECT_EQ(selection.View().disabledFormat[fcAudio], afWAV);
  selection.SelectFormat(fcAudio, 8);  // out of range: ignored
  selection.SelectFormat(fcVideo, 9);
  selection.SelectFormat(5, 0);
  EXPECT_EQ(settings.OutputAudioFormat, afWAV);
  EXPECT_EQ(selection.View().disabledFormat[fcAudio], afWAV);
  EXPECT_EQ(settings.OutputVideoFormat, vfAVI);
}

TEST_F(FormatSelectionTest, ShowSelectionPutsTheStoredChoiceIntoTheControls) {
  settings.OutputFileDir = "/home/u/Videos";
  settings.OutputFormatClass = fcDevice;
  settings.OutputVideoFormat = vfWMV;
  settings.OutputDeviceFormat = dfPSP;
  settings.OutputAudioFormat = afOGG;
  settings.OutputWMVPreset = 0;
  settings.OutputMobilePhonePreset = 3;
  selection.ShowSelection();
  const SelectionView& view = selection.View();
  EXPECT_EQ(view.outputDir, "/home/u/Videos");
  EXPECT_EQ(view.shownClass, fcDevice);
  EXPECT_EQ(view.disabledClass, fcDevice);
  EXPECT_EQ(view.disabledFormat, (std::array<int, 3>{vfWMV, dfPSP, afOGG}));
  EXPECT_EQ(view.frontList, (std::array<int, 3>{vfWMV, dfPSP, afOGG}));
  EXPECT_EQ(view.presetIndex[Index("WMV")], 0);
  EXPECT_EQ(view.presetIndex[Index("MobilePhone")], 3);
  EXPECT_EQ(view.presetIndex[Index("AVI")], 3);
  EXPECT_EQ(view.presetIndex[Index("FLAC")], 5);
}

TEST_F(FormatSelectionTest, FormatNineSelectsNoVideoFormat) {
  selection.ShowSelection();
  EXPECT_EQ(selection.View().disabledFormat[fcVideo], vfAVI);
  settings.OutputVideoFormat = 9;
  selection.ShowSelection();
  // The button marked before is no longer marked, the list in front stays where it was.
  EXPECT_EQ(selection.View().disabledFormat[fcVideo], -1);
  EXPECT_EQ(settings.OutputVideoFormat, 9);
  EXPECT_EQ(OutputExtension(settings), "");
  EXPECT_EQ(selection.View().disabledFormat[fcAudio], afWAV);
}

TEST_F(FormatSelectionTest, ClassOutOfRangeMarksNoClass) {
  selection.ShowSelection();
  settings.OutputFormatClass = 3;
  selection.ShowSelection();
  EXPECT_EQ(selection.View().disabledClass, -1);
  EXPECT_EQ(settings.OutputFormatClass, 3);
}

TEST_F(FormatSelectionTest, PresetsOutsideTheirListsShowNothingAndReadBackMinusOne) {
  settings.OutputAVIPreset = 40;
  settings.OutputMP3Preset = -5;
  settings.OutputM4APreset = 2;   // one past the end of a two-entry list
  settings.OutputWMVPreset = 17;  // the last entry
  selection.ShowSelection();
  EXPECT_EQ(selection.View().presetIndex[Index("AVI")], -1);
  EXPECT_EQ(selection.View().presetIndex[Index("MP3")], -1);
  EXPECT_EQ(selection.View().presetIndex[Index("M4A")], -1);
  EXPECT_EQ(selection.View().presetIndex[Index("WMV")], 17);
  selection.ReadSelection();
  EXPECT_EQ(settings.OutputAVIPreset, -1);
  EXPECT_EQ(settings.OutputMP3Preset, -1);
  EXPECT_EQ(settings.OutputM4APreset, -1);
  EXPECT_EQ(settings.OutputWMVPreset, 17);
  EXPECT_EQ(settings.OutputFLACPreset, 5);
}

TEST_F(FormatSelectionTest, ReadSelectionStoresTheListsAndTheFolderWithATrailingSlash) {
  struct Case {
    const char* typed;
    const char* stored;
  };
  const Case cases[] = {
      {"/tmp/out", "/tmp/out/"},   {"/tmp/out/", "/tmp/out/"}, {"/", "/"}, {"", "/"},
      {"out dir\\", "out dir\\/"}, {"/tmp/视频", "/tmp/视频/"}};
  for (const Case& c : cases) {
    selection.ShowSelection();
    selection.MutableView().outputDir = c.typed;
    selection.MutableView().presetIndex[Index("iPod")] = 9;
    selection.MutableView().presetIndex[Index("MP2")] = -1;
    selection.ReadSelection();
    EXPECT_EQ(settings.OutputFileDir, c.stored) << c.typed;
    EXPECT_EQ(settings.OutputiPodPreset, 9);
    EXPECT_EQ(settings.OutputMP2Preset, -1);
  }
}

TEST_F(FormatSelectionTest, LeavingWithoutReadingKeepsTheStoredPresets) {
  settings.OutputFileDir = "/data/";
  selection.ShowSelection();
  selection.MutableView().presetIndex[Index("MP4")] = 18;
  selection.MutableView().outputDir = "/elsewhere";
  selection.SelectClass(fcAudio);  // clicks count at once
  // Back to step 1 and Next again: the stored choice comes back.
  selection.ShowSelection();
  EXPECT_EQ(selection.View().presetIndex[Index("MP4")], 3);
  EXPECT_EQ(selection.View().outputDir, "/data/");
  EXPECT_EQ(selection.View().shownClass, fcAudio);
  EXPECT_EQ(settings.OutputMP4Preset, 3);
}

TEST_F(FormatSelectionTest, AFormatNotOfferedCanStillBeCurrent) {
  selection.ApplyOfferedFormats(Offer({"AVI", "3GP", "MP3"}));
  settings.OutputFormatClass = fcVideo;
  settings.OutputVideoFormat = vfMOV;
  selection.ShowSelection();
  EXPECT_FALSE(selection.Layout().formatButtons[Index("MOV")].visible);
  EXPECT_EQ(selection.View().disabledFormat[fcVideo], vfMOV);
  EXPECT_EQ(selection.View().frontList[fcVideo], vfMOV);
  EXPECT_EQ(OutputExtension(settings), ".mov");
}

TEST_F(FormatSelectionTest, ASingleOfferedClassIsShownWhateverClassWasStored) {
  struct Case {
    const char* title;
    OfferedFormats offered;
    uint8_t storedClass;
    int shownClass;
  };
  const Case cases[] = {
      {"only audio, audio stored", Offer({"MP3", "WAV"}), fcAudio, fcAudio},
      {"only audio, video stored", Offer({"MP3", "WAV"}), fcVideo, fcAudio},
      {"only audio, class out of range", Offer({"MP3"}), 7, fcAudio},
      {"only devices, audio stored", Offer({"iPad"}), fcAudio, fcDevice},
      // With class buttons to click, the stored class stays even when it offers nothing.
      {"video and audio, device stored", Offer({"AVI", "MP3"}), fcDevice, fcDevice},
      {"nothing offered", OfferedFormats{}, fcDevice, fcDevice},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    app::AppSettings s;
    s.OutputFormatClass = c.storedClass;
    FormatSelection sel(s);
    sel.ApplyOfferedFormats(c.offered);
    sel.ShowSelection();
    EXPECT_EQ(sel.View().shownClass, c.shownClass);
    EXPECT_EQ(s.OutputFormatClass, c.shownClass);
  }
}

}  // namespace
}  // namespace convert
