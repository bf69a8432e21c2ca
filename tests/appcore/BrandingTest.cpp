#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "appcore/AppError.h"
#include "appcore/Branding.h"

using namespace app;

namespace {

// A complete branding text of an edition, as its maker writes it.
const char* kEdition =
    "[SYSTEM]\r\n"
    "Name=视频转换大师 Pro\r\n"
    "Version=2.1.0\r\n"
    "Copyright=(c) Example\r\n"
    "Download=True\r\n"
    "Merge=Yes\r\n"
    "Skin=2\r\n"
    "ResFolder=blue\r\n"
    "HelpContectLink=https://example.org/help\r\n"
    "HelpHowTosTutorialVideosLink=https://example.org/howto\r\n"
    "HelpHomePageLink=https://example.org/\r\n"
    "HelpMoreFreeToolsLink=https://example.org/tools\r\n"
    "HelpCheckForUpdatesLink=https://example.org/update\r\n"
    "HelpSupportLink=https://example.org/support\r\n"
    "AVI=True\r\n3GP=True\r\nIPOD=Yes\r\nMOBILEPHONE=True\r\nMP2=True\r\nWMA=true\r\n"
    "DefaultVideo=8\r\n"
    "DefaultDevice=-1\r\n"
    "DefaultAudio=+3\r\n"
    "DefaultClass=5\r\n";

std::vector<std::string> linesOf(const std::string& plain) {
  return DecodeBrandingLines(EncodeBrandingText(plain));
}

std::string withSystem(const std::string& keys) {
  return "[SYSTEM]\nSkin=0\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=0\nDefaultClass=0\n" +
         keys;
}

}  // namespace

TEST(BrandingTest, StoredBytesAreComplementedExceptLineBreaks) {
  const std::string plain = "[SYSTEM]\r\nName=A\nX=\r\n";
  const std::string stored = EncodeBrandingText(plain);
  EXPECT_EQ(stored, std::string("\xA4\xAC\xA6\xAC\xAB\xBA\xB2\xA2\r\n\xB1\x9E\x92\x9A\xC2\xBE\n"
                                "\xA7\xC2\r\n"));
  EXPECT_EQ(DecodeBrandingText(stored), plain);
  EXPECT_EQ(DecodeBrandingLines(stored), (std::vector<std::string>{"[SYSTEM]", "Name=A", "X="}));
  // A lone CR is an ordinary byte: it is complemented and comes back.
  EXPECT_EQ(DecodeBrandingText(EncodeBrandingText("a\rb")), "a\rb");
  EXPECT_EQ(DecodeBrandingLines(EncodeBrandingText("a\rb")), std::vector<std::string>{"a\rb"});
}

TEST(BrandingTest, EveryStorableByteSurvivesTheRoundTrip) {
  std::string plain;
  for (int b = 0; b < 256; ++b) {
    if (b == 0xF2 || b == 0xF5 || b == 0xFF || b == '\n' || b == '\r') continue;
    plain.push_back(static_cast<char>(b));
  }
  const auto lines = linesOf(plain + "\n" + plain);
  EXPECT_EQ(lines, (std::vector<std::string>{plain, plain}));
}

TEST(BrandingTest, TextsThatCannotBeStoredAreRefused) {
  for (const unsigned char b : {0xF2, 0xF5, 0xFF}) {
    const std::string plain = std::string("Name=x") + static_cast<char>(b) + "y\n";
    try {
      EncodeBrandingText(plain);
      FAIL() << "byte " << int(b) << " accepted";
    } catch (const AppError& e) {
      EXPECT_NE(std::string(e.what()).find("offset 6"), std::string::npos) << e.what();
    }
  }
}

TEST(BrandingTest, ReadsEveryKeyOfAnEdition) {
  testsupport::TempDir dir;
  dir.write("dudozava.dll", EncodeBrandingText(kEdition));
  const std::string path = BrandingFilePath(dir.str() + "/");
  EXPECT_EQ(path, dir.str() + "/dudozava.dll");
  const BrandingConfig c = ReadBrandingConfig(LoadBrandingLines(path));
  EXPECT_EQ(c.Name, "视频转换大师 Pro");
  EXPECT_EQ(c.Version, "2.1.0");
  EXPECT_EQ(c.Copyright, "(c) Example");
  EXPECT_TRUE(c.Download);
  EXPECT_TRUE(c.Merge);
  EXPECT_EQ(c.Skin, 2);
  EXPECT_EQ(c.ResFolder, "blue");
  EXPECT_EQ(c.HelpContectLink, "https://example.org/help");
  EXPECT_EQ(c.HelpHowTosTutorialVideosLink, "https://example.org/howto");
  EXPECT_EQ(c.HelpHomePageLink, "https://example.org/");
  EXPECT_EQ(c.HelpMoreFreeToolsLink, "https://example.org/tools");
  EXPECT_EQ(c.HelpCheckForUpdatesLink, "https://example.org/update");
  EXPECT_EQ(c.HelpSupportLink, "https://example.org/support");
  EXPECT_EQ(c.DefaultVideo, 8);
  EXPECT_EQ(c.DefaultDevice, -1);
  EXPECT_EQ(c.DefaultAudio, 3);
  EXPECT_EQ(c.DefaultClass, 5);  // kept as read; the main window decides what 5 means
  // Exactly the flags written "True" or "Yes" are set; "true" is not.
  for (const auto key : kBrandingFormatKeys) {
    const bool expected =
        key == "AVI" || key == "3GP" || key == "IPOD" || key == "MOBILEPHONE" || key == "MP2";
    ASSERT_NE(BrandingFormatFlag(c, key), nullptr) << key;
    EXPECT_EQ(*BrandingFormatFlag(c, key), expected) << key;
  }
  EXPECT_TRUE(c._3GP);
  EXPECT_FALSE(c.WMA);
  EXPECT_EQ(BrandingFormatFlag(c, "iPod"), nullptr);  // key spelling is exact
}

TEST(BrandingTest, FlagsAreTrueOnlyForTrueOrYes) {
  const struct {
    const char* line;
    bool value;
  } cases[] = {
      {"Download=True", true},
      {"Download=Yes", true},
      {"Download=true", false},
      {"Download=yes", false},
      {"Download=TRUE", false},
      {"Download=1", false},
      {"Download=", false},
      {"", false},
      {"Download=Truely", false},
      {"download=Yes", true},  // key names are found regardless of letter case
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadBrandingConfig(linesOf(withSystem(std::string(c.line) + "\n"))).Download, c.value)
        << c.line;
  }
}

TEST(BrandingTest, ServiceDomainDefaultsToTheVideoService) {
  const struct {
    const char* line;
    const char* domain;
  } cases[] = {
      {"", "youtube.com"},
      {"ServiceDomain=", "youtube.com"},
      {"ServiceDomain=127.0.0.1:8080", "127.0.0.1:8080"},
      // Addresses are compared lower-cased.
      {"ServiceDomain=Video.Example", "video.example"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadBrandingConfig(linesOf(withSystem(std::string(c.line) + "\n"))).ServiceDomain,
              c.domain)
        << c.line;
  }
}

TEST(BrandingTest, RequiredIntegersNameTheBadValue) {
  const struct {
    const char* text;
    const char* error;  // nullptr: accepted
  } cases[] = {
      {"[SYSTEM]\nSkin=abc\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=0\nDefaultClass=0\n",
       "'abc' is not a valid integer value"},
      {"[SYSTEM]\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=0\nDefaultClass=0\n",
       "'' is not a valid integer value"},  // Skin missing
      {"[SYSTEM]\nSkin=1\nDefaultVideo=1.5\nDefaultDevice=0\nDefaultAudio=0\nDefaultClass=0\n",
       "'1.5' is not a valid integer value"},
      {"[SYSTEM]\nSkin=1\nDefaultVideo=0\nDefaultDevice=0x10\nDefaultAudio=0\nDefaultClass=0\n",
       "'0x10' is not a valid integer value"},  // decimal only
      {"[SYSTEM]\nSkin=1\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=2147483648\n"
       "DefaultClass=0\n",
       "'2147483648' is not a valid integer value"},
      {"[SYSTEM]\nSkin=1\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=0\n",
       "'' is not a valid integer value"},  // DefaultClass missing
      // Two bad values: the first in key order (Skin before the defaults) is reported.
      {"[SYSTEM]\nDefaultVideo=x\nSkin=y\nDefaultDevice=0\nDefaultAudio=0\nDefaultClass=0\n",
       "'y' is not a valid integer value"},
      {"[SYSTEM]\nSkin=-2147483648\nDefaultVideo=0\nDefaultDevice=0\nDefaultAudio=0\n"
       "DefaultClass=0\n",
       nullptr},
      {"[OTHER]\nSkin=1\n", "'' is not a valid integer value"},  // only SYSTEM counts
  };
  for (const auto& c : cases) {
    if (c.error == nullptr) {
      EXPECT_NO_THROW(ReadBrandingConfig(linesOf(c.text))) << c.text;
      continue;
    }
    try {
      ReadBrandingConfig(linesOf(c.text));
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const AppError& e) {
      EXPECT_STREQ(e.what(), c.error) << c.text;
    }
  }
}

TEST(BrandingTest, AMissingFileIsAFileOpenError) {
  testsupport::TempDir dir;
  const std::string path = BrandingFilePath(dir.str() + "/");
  try {
    LoadBrandingLines(path);
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(),
                 ("Cannot open file \"" + path + "\". No such file or directory").c_str());
  }
}

TEST(BrandingTest, BrokenFilesGiveAClearErrorOrValuesNeverACrash) {
  testsupport::TempDir dir;
  std::mt19937 random(7);
  std::vector<std::string> files;
  for (int i = 0; i < 50; ++i) {
    std::string bytes(static_cast<size_t>(random() % 4000), '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    files.push_back(bytes);
  }
  // Stored bytes whose complements are CR, LF and NUL, mixed into an otherwise good file.
  files.push_back(EncodeBrandingText(withSystem("Name=")) + "\xF2\xF5\xFF" +
                  EncodeBrandingText("x\nVersion=1\n"));
  files.push_back(std::string("\xF2\xF5\xFF\xF2\xF2\n\xF5", 7));
  files.push_back("");
  for (const std::string& bytes : files) {
    const auto path = dir.write("dudozava.dll", bytes);
    try {
      const BrandingConfig c = ReadBrandingConfig(LoadBrandingLines(path.string()));
      (void)c;
    } catch (const AppError& e) {
      EXPECT_NE(std::string(e.what()).find("is not a valid integer value"), std::string::npos);
    }
  }
  // The NUL read from an 0xFF byte stays inside the value instead of cutting it short.
  const auto path =
      dir.write("dudozava.dll", EncodeBrandingText(withSystem("Name=ab")) + std::string("\xFF", 1) +
                                    EncodeBrandingText("cd\n"));
  EXPECT_EQ(ReadBrandingConfig(LoadBrandingLines(path.string())).Name, std::string("ab\0cd", 5));
}

TEST(BrandingTest, DefaultsBecomeTheSettingsStartValues) {
  const struct {
    int defaultClass, video, device, audio;
    uint8_t classBefore;
    uint8_t expectClass, expectVideo, expectDevice, expectAudio;
  } cases[] = {
      {1, 2, 3, 4, 0, 1, 2, 3, 4},
      {5, 0, 0, 0, 0, 0, 0, 0, 0},  // not a class: the class stays as it was
      {-1, 0, 0, 0, 2, 2, 0, 0, 0},
      {2, 257, -1, 255, 0, 2, 1, 255, 255},  // formats are kept unchecked, as one byte
  };
  for (const auto& c : cases) {
    BrandingConfig config;
    config.DefaultClass = c.defaultClass;
    config.DefaultVideo = c.video;
    config.DefaultDevice = c.device;
    config.DefaultAudio = c.audio;
    AppSettings settings;
    settings.OutputFormatClass = c.classBefore;
    ApplyBrandingDefaults(config, settings);
    EXPECT_EQ(settings.OutputFormatClass, c.expectClass) << c.defaultClass;
    EXPECT_EQ(settings.OutputVideoFormat, c.expectVideo) << c.video;
    EXPECT_EQ(settings.OutputDeviceFormat, c.expectDevice) << c.device;
    EXPECT_EQ(settings.OutputAudioFormat, c.expectAudio) << c.audio;
  }
}
