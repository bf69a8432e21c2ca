#include <gtest/gtest.h>

#include <string>

#include "convert/FormatCatalogue.h"

namespace convert {
namespace {

TEST(FormatCatalogueTest, ClassesHoldTheirFormatsInCodeOrder) {
  const auto& catalogue = Catalogue();
  EXPECT_EQ(FormatCount(fcVideo), 9);
  EXPECT_EQ(FormatCount(fcDevice), 8);
  EXPECT_EQ(FormatCount(fcAudio), 8);
  EXPECT_EQ(FormatCount(3), 0);
  EXPECT_EQ(FormatCount(-1), 0);
  for (int c = 0; c < kFormatClassCount; ++c) {
    for (int code = 0; code < FormatCount(c); ++code) {
      const FormatInfo* format = FindFormat(c, code);
      ASSERT_NE(format, nullptr) << c << "/" << code;
      EXPECT_EQ(format->formatClass, c);
      EXPECT_EQ(format->code, code);
      EXPECT_EQ(&catalogue[CatalogueIndex(c, code)], format);
    }
  }
  EXPECT_EQ(FindFormat(fcVideo, vf3GP)->name, "3GP");
  EXPECT_EQ(FindFormat(fcDevice, dfAndroid)->name, "Android");
  EXPECT_EQ(FindFormat(fcAudio, afMP2)->name, "MP2");
}

struct FormatRow {
  int formatClass;
  int code;
  const char* name;
  const char* brandingKey;
  const char* extension;
  int presetCount;
  int defaultPreset;
};

// The formats as users and stored files know them.
const FormatRow kRows[] = {
    {fcVideo, vfAVI, "AVI", "AVI", ".avi", 29, 3},
    {fcVideo, vfMP4, "MP4", "MP4", ".mp4", 19, 3},
    {fcVideo, vfFLV, "FLV", "FLV", ".flv", 5, 1},
    {fcVideo, vfSWF, "SWF", "SWF", ".swf", 5, 1},
    {fcVideo, vfMPEG, "MPEG", "MPEG", ".mpg", 14, 5},
    {fcVideo, vfRM, "RM", "RM", ".rm", 5, 1},
    {fcVideo, vfWMV, "WMV", "WMV", ".wmv", 18, 16},
    {fcVideo, vfMOV, "MOV", "MOV", ".mov", 10, 7},
    {fcVideo, vf3GP, "3GP", "3GP", ".3gp", 5, 2},
    {fcDevice, dfiPod, "iPod", "IPOD", ".mp4", 10, 5},
    {fcDevice, dfiPhone, "iPhone", "IPHONE", ".mp4", 3, 1},
    {fcDevice, dfAppleTV, "AppleTV", "APPLETV", ".mp4", 3, 1},
    {fcDevice, dfPSP, "PSP", "PSP", ".mp4", 3, 1},
    {fcDevice, dfBlackBerry, "BlackBerry", "BLACKBERRY", ".mp4", 3, 1},
    {fcDevice, dfMobilePhone, "MobilePhone", "MOBILEPHONE", ".mp4", 4, 1},
    {fcDevice, dfiPad, "iPad", "IPAD", ".mp4", 3, 0},
    {fcDevice, dfAndroid, "Android", "ANDROID", ".mp4", 3, 0},
    {fcAudio, afWAV, "WAV", "WAV", ".wav", 5, 3},
    {fcAudio, afMP3, "MP3", "MP3", ".mp3", 4, 2},
    {fcAudio, afWMA, "WMA", "WMA", ".wma", 5, 1},
    {fcAudio, afOGG, "OGG", "OGG", ".ogg", 5, 3},
    {fcAudio, afAAC, "AAC", "AAC", ".aac", 5, 3},
    {fcAudio, afM4A, "M4A", "M4A", ".m4a", 2, 0},
    {fcAudio, afFLAC, "FLAC", "FLAC", ".flac", 9, 5},
    {fcAudio, afMP2, "MP2", "MP2", ".mp2", 3, 0},
};

TEST(FormatCatalogueTest, EveryFormatHasItsNamesExtensionAndPresets) {
  int total = 0;
  for (const FormatRow& row : kRows) {
    SCOPED_TRACE(row.name);
    const FormatInfo* format = FindFormat(row.formatClass, row.code);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->name, row.name);
    EXPECT_EQ(format->brandingKey, row.brandingKey);
    EXPECT_EQ(format->extension, row.extension);
    EXPECT_EQ(format->PresetCount(), row.presetCount);
    EXPECT_EQ(format->defaultPreset, row.defaultPreset);
    EXPECT_EQ(format->buttonName, "ButtonFormat" + std::string(row.name));
    EXPECT_EQ(format->presetSetting, "Output" + std::string(row.name) + "Preset");
    EXPECT_EQ(format->PresetListName(), "ImageComboBox" + std::string(row.name) + "Presets");
    for (const std::string_view text : format->presets) EXPECT_FALSE(text.empty());
    total += format->PresetCount();
  }
  EXPECT_EQ(total, 180);
}

// The catalogue's default preset and the settings' default must agree, and the field must be
// the format's own: a wrong member pointer would store one format's preset in another's key.
TEST(FormatCatalogueTest, DefaultPresetsAreTheSettingsDefaultsOfTheirOwnFields) {
  const app::AppSettings defaults;
  for (const FormatInfo& format : Catalogue()) {
    SCOPED_TRACE(std::string(format.name));
    EXPECT_EQ(defaults.*format.presetField, format.defaultPreset);
    EXPECT_LT(format.defaultPreset, format.PresetCount());
    app::AppSettings probe;
    probe.*format.presetField = 77;
    int changed = 0;
    for (const FormatInfo& other : Catalogue()) changed += (probe.*other.presetField == 77);
    EXPECT_EQ(changed, 1);
    // Only the field named by the setting key changes.
    EXPECT_EQ(format.presetSetting == "OutputMP3Preset", probe.OutputMP3Preset == 77);
    EXPECT_EQ(format.presetSetting == "OutputiPadPreset", probe.OutputiPadPreset == 77);
    EXPECT_EQ(format.presetSetting == "Output3GPPreset", probe.Output3GPPreset == 77);
  }
}

struct TextCase {
  const char* format;
  int index;
  const char* text;
};

// Texts whose odd spelling and blanks are kept, and the first and last of some lists.
const TextCase kTexts[] = {
    {"AVI", 0, "高清720p视频: MPEG4 (DivX, XviD), 4500 kbps; 音频: MP3, 192 kbps"},
    {"AVI", 8, "视频: H.264/AVC, 1200 kbps; : MP3, 192 kbps"},
    {"AVI", 21, "Nindendo Wii剪辑"},
    {"AVI", 28, "视频: 未压缩, 原始; 音频: PCM"},
    {"MP4", 3, "苹果iPhone/iTouch - (H.264,640x420)"},
    {"MPEG", 5, "Video: MPEG2, 4000 kbps, 原始大小, 29.97 fps; 音频: 224 kbps"},
    {"RM", 2, "RM - 最优质量 - (512 kbps, 原始)"},
    {"RM", 3, "RM - 低质量  - (256 kbps, 原始)"},
    {"RM", 4, "RM - 最低质量  - (128 kbps, 原始)"},
    {"WMV", 16, "Windows媒体视频9标准质量"},
    {"SWF", 0, "SWF - 最佳质量 - (H.263, Original; MP3, 160 kbps)"},
    {"iPod", 0, "iPod最高质量 (H264, 30 fps, 640x480, 2500 kbps; AAC - 160 kbps)"},
    {"iPod", 1, "iPod Touch高质量 (H264, 30 fps, 480x320, 2500 kbps; AAC - 160 kbps) "},
    {"iPod", 2, "iPod Touch标准质量 (H264, 24 fps, 480x320, 1300 kbps; AAC - 128 kbps)"},
    {"iPod", 3, "iPod Touch经济质量 (H264, 15 fps, 320x240, 500 kbps; AAC - 128 kbps) "},
    {"MobilePhone", 3, "移动MP4经济质量 (MPEG4, 10 fps, 128x96, 119 kbps; AAC - 64 kbps)"},
    {"WMA", 4, "WMA Losslesss音频"},
    {"OGG", 4, "高保真质量 - Ogg格式: 质量 - 8.05; 48000 Hz, 立体声"},
    {"FLAC", 5, "压缩级别5 (默认)"},
    {"MP2", 2, "FM质量 - MPEG层-2: 22050 Hz, 立体声, 128 kbps"},
};

TEST(FormatCatalogueTest, PresetTextsAreExact) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.index));
    const FormatInfo* format = FindFormatByName(c.format);
    ASSERT_NE(format, nullptr);
    ASSERT_LT(c.index, format->PresetCount());
    EXPECT_EQ(format->presets[c.index], c.text);
  }
}

TEST(FormatCatalogueTest, NameLookupIgnoresLetterCaseOnly) {
  struct Case {
    const char* name;
    int formatClass;  // -1: not found
    int code;
  };
  const Case cases[] = {
      {"mp3", fcAudio, afMP3},
      {"IPOD", fcDevice, dfiPod},
      {"ipad", fcDevice, dfiPad},
      {"3gp", fcVideo, vf3GP},
      {"Mpeg", fcVideo, vfMPEG},
      {"mp4", fcVideo, vfMP4},
      {"FLAC", fcAudio, afFLAC},
      {"mobilephone", fcDevice, dfMobilePhone},
      {"", -1, 0},
      {"MP", -1, 0},
      {"mp3 ", -1, 0},
      {".mp3", -1, 0},
      {"mpg", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FormatInfo* format = FindFormatByName(c.name);
    if (c.formatClass < 0) {
      EXPECT_EQ(format, nullptr);
    } else {
      ASSERT_NE(format, nullptr);
      EXPECT_EQ(format->formatClass, c.formatClass);
      EXPECT_EQ(format->code, c.code);
    }
  }
  // A name with an embedded NUL is not the name before it.
  EXPECT_EQ(FindFormatByName(std::string_view("iPod\0x", 6)), nullptr);
}

TEST(FormatCatalogueTest, CodesOutOfRangeFindNothing) {
  const int cases[][2] = {{fcVideo, 9}, {fcDevice, 8}, {fcAudio, 8}, {3, 0},
                          {-1, 0},      {fcVideo, -1}, {255, 255}};
  for (const auto& c : cases) {
    EXPECT_EQ(FindFormat(c[0], c[1]), nullptr) << c[0] << "/" << c[1];
    EXPECT_EQ(CatalogueIndex(c[0], c[1]), -1) << c[0] << "/" << c[1];
  }
  EXPECT_EQ(CurrentFormatField(3), nullptr);
  EXPECT_EQ(ClassCaption(3), "");
  EXPECT_EQ(ClassCaption(fcDevice), "设备");
}

TEST(FormatCatalogueTest, OutputExtensionFollowsTheCurrentClassAndItsFormat) {
  struct Case {
    uint8_t formatClass;
    uint8_t video, device, audio;
    const char* extension;
  };
  const Case cases[] = {
      {fcVideo, vfMPEG, dfiPod, afWAV, ".mpg"},
      {fcVideo, vf3GP, 200, 200, ".3gp"},
      {fcDevice, vfAVI, dfAndroid, afMP3, ".mp4"},
      {fcAudio, vfAVI, dfiPod, afFLAC, ".flac"},
      {fcAudio, 9, 9, afM4A, ".m4a"},
      {fcVideo, 9, dfiPod, afWAV, ""},  // no video format selected
      {fcDevice, vfAVI, 8, afWAV, ""},
      {fcAudio, vfAVI, dfiPod, 255, ""},
      {3, vfAVI, dfiPod, afWAV, ""},  // no class selected
      {255, vfAVI, dfiPod, afWAV, ""},
  };
  for (const Case& c : cases) {
    app::AppSettings settings;
    settings.OutputFormatClass = c.formatClass;
    settings.OutputVideoFormat = c.video;
    settings.OutputDeviceFormat = c.device;
    settings.OutputAudioFormat = c.audio;
    EXPECT_EQ(OutputExtension(settings), c.extension)
        << int(c.formatClass) << " " << int(c.video) << " " << int(c.device) << " " << int(c.audio);
  }
}

}  // namespace
}  // namespace convert
