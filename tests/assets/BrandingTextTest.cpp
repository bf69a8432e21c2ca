// The default edition's branding: its plain text is one the start-up reader accepts, and the
// branding file in the run-time folder is that text, encoded.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The keys the reader looks up, in the order it reads them.
const std::vector<std::string> kKeys = {"Name",
                                        "Version",
                                        "Copyright",
                                        "Download",
                                        "Merge",
                                        "Skin",
                                        "ResFolder",
                                        "HelpContectLink",
                                        "HelpHowTosTutorialVideosLink",
                                        "HelpHomePageLink",
                                        "HelpMoreFreeToolsLink",
                                        "HelpCheckForUpdatesLink",
                                        "HelpSupportLink",
                                        "AVI",
                                        "MP4",
                                        "FLV",
                                        "SWF",
                                        "MPEG",
                                        "RM",
                                        "WMV",
                                        "MOV",
                                        "3GP",
                                        "IPOD",
                                        "IPAD",
                                        "ANDROID",
                                        "IPHONE",
                                        "APPLETV",
                                        "PSP",
                                        "BLACKBERRY",
                                        "MOBILEPHONE",
                                        "WAV",
                                        "MP3",
                                        "WMA",
                                        "OGG",
                                        "AAC",
                                        "M4A",
                                        "FLAC",
                                        "MP2",
                                        "DefaultVideo",
                                        "DefaultDevice",
                                        "DefaultAudio",
                                        "DefaultClass"};

// Format codes of each class, and the flag that offers each.
const std::vector<std::string> kVideoByCode = {"AVI", "MP4", "FLV", "SWF", "MPEG",
                                               "RM",  "WMV", "MOV", "3GP"};
const std::vector<std::string> kDeviceByCode = {"IPOD",       "IPHONE",      "APPLETV", "PSP",
                                                "BLACKBERRY", "MOBILEPHONE", "IPAD",    "ANDROID"};
const std::vector<std::string> kAudioByCode = {"WAV", "MP3", "WMA",  "OGG",
                                               "AAC", "M4A", "FLAC", "MP2"};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string PlainText() {
  return testsupport::ReadFile(testsupport::SourceDir() / "assets" / "branding.txt");
}

bool IsInteger(const std::string& v) {
  size_t i = (!v.empty() && (v[0] == '-' || v[0] == '+')) ? 1 : 0;
  if (i == v.size()) return false;
  for (; i < v.size(); ++i)
    if (v[i] < '0' || v[i] > '9') return false;
  return true;
}

TEST(DefaultBranding, PlainTextHasEveryKeyOnceInReadingOrder) {
  const std::string text = PlainText();
  ASSERT_FALSE(text.empty());
  // Lines are split before they are decoded: these bytes would split or end a line.
  for (unsigned char c : text) {
    EXPECT_TRUE(c != 0xF2 && c != 0xF5 && c != 0xFF && c != 0) << "byte " << int(c);
  }
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "[SYSTEM]");
  std::vector<std::string> keys;
  std::map<std::string, std::string> values;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t eq = lines[i].find('=');
    ASSERT_NE(eq, std::string::npos) << "not a key line: " << lines[i];
    keys.push_back(lines[i].substr(0, eq));
    values[keys.back()] = lines[i].substr(eq + 1);
  }
  EXPECT_EQ(keys, kKeys);

  EXPECT_FALSE(values["Name"].empty());
  // Flags are true only when spelled exactly so; a lower-case "true" would hide a format.
  for (size_t i = 0; i < kKeys.size(); ++i) {
    const std::string& k = kKeys[i];
    const bool flag = k == "Download" || k == "Merge" || (i >= 13 && i < 38);
    if (flag) {
      EXPECT_TRUE(values[k] == "True" || values[k] == "False") << k << "=" << values[k];
    }
    if (k.rfind("Help", 0) == 0) {
      EXPECT_EQ(values[k].rfind("https://", 0), 0u) << k;
    }
  }
  for (const char* k : {"Skin", "DefaultVideo", "DefaultDevice", "DefaultAudio", "DefaultClass"}) {
    ASSERT_TRUE(IsInteger(values[k])) << k << "=" << values[k];
  }
  EXPECT_GE(std::stoi(values["Skin"]), 0);
  EXPECT_LE(std::stoi(values["Skin"]), 3);
  EXPECT_GE(std::stoi(values["DefaultClass"]), 0);
  EXPECT_LE(std::stoi(values["DefaultClass"]), 2);

  // Each default format exists and is offered.
  const struct {
    const char* key;
    const std::vector<std::string>& byCode;
  } defaults[] = {{"DefaultVideo", kVideoByCode},
                  {"DefaultDevice", kDeviceByCode},
                  {"DefaultAudio", kAudioByCode}};
  for (const auto& d : defaults) {
    const int code = std::stoi(values[d.key]);
    ASSERT_GE(code, 0) << d.key;
    ASSERT_LT(code, static_cast<int>(d.byCode.size())) << d.key;
    EXPECT_EQ(values[d.byCode[code]], "True") << d.key << " names a format not offered";
  }

  // The skin folder it names is the one the build lays out.
  const fs::path skin = testsupport::RuntimeDir() / "sounds" / values["ResFolder"];
  EXPECT_TRUE(fs::exists(skin / "main.bmp")) << skin;
}

TEST(DefaultBranding, RuntimeFileIsThePlainTextComplemented) {
  const std::string stored = testsupport::ReadFile(testsupport::RuntimeDir() / "dudozava.dll");
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(stored.find("[SYSTEM]"), std::string::npos) << "stored without complementing";
  std::string decoded;
  for (char c : stored) {
    // Line breaks are stored as they are.
    decoded += (c == '\r' || c == '\n') ? c : static_cast<char>(~static_cast<unsigned char>(c));
  }
  EXPECT_EQ(SplitLines(decoded), SplitLines(PlainText()));
}

}  // namespace
