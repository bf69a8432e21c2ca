#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/X264Presets.h"

TEST(X264Presets, TheWorkflowsRowsAreExact) {
  const auto* baseline = engine::FindBuiltInPreset("libx264-baseline");
  ASSERT_NE(baseline, nullptr);
  EXPECT_EQ(baseline->Text, "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0");
  const auto* defaults = engine::FindBuiltInPreset("libx264-default");
  ASSERT_NE(defaults, nullptr);
  EXPECT_EQ(defaults->Text,
            "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
            "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\n"
            "i_qfactor=0.71\nb_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\n"
            "directpred=1\ntrellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2");
}

TEST(X264Presets, NamesAreFoundIgnoringCaseAndUnknownNamesAreNot) {
  const std::set<std::string> expected = {"libx264-baseline",
                                          "libx264-default",
                                          "libx264-fast",
                                          "libx264-fast_firstpass",
                                          "libx264-faster",
                                          "libx264-faster_firstpass",
                                          "libx264-fastfirstpass",
                                          "libx264-hq",
                                          "libx264-ipod320",
                                          "libx264-ipod640",
                                          "libx264-lossless_fast",
                                          "libx264-lossless_max",
                                          "libx264-lossless_medium",
                                          "libx264-lossless_slow",
                                          "libx264-lossless_slower",
                                          "libx264-lossless_ultrafast",
                                          "libx264-main",
                                          "libx264-max",
                                          "libx264-medium",
                                          "libx264-medium_firstpass",
                                          "libx264-normal",
                                          "libx264-placebo",
                                          "libx264-placebo_firstpass",
                                          "libx264-slow",
                                          "libx264-slow_firstpass",
                                          "libx264-slower",
                                          "libx264-slower_firstpass",
                                          "libx264-slowfirstpass",
                                          "libx264-superfast",
                                          "libx264-superfast_firstpass",
                                          "libx264-ultrafast",
                                          "libx264-ultrafast_firstpass",
                                          "libx264-veryfast",
                                          "libx264-veryfast_firstpass",
                                          "libx264-veryslow",
                                          "libx264-veryslow_firstpass"};
  std::set<std::string> names;
  for (const auto& preset : engine::BuiltInPresets()) names.insert(std::string(preset.Name));
  EXPECT_EQ(names, expected);
  for (const auto& name : expected) {
    std::string upper = name;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const auto* found = engine::FindBuiltInPreset(upper);
    ASSERT_NE(found, nullptr) << upper;
    EXPECT_EQ(found->Name, name);
  }
  for (const char* missing : {"", "default", "libx264-", "libx264-default ", "libx264-defaultx"})
    EXPECT_EQ(engine::FindBuiltInPreset(missing), nullptr) << missing;
}

// Preset texts are parsed line by line as key=value: a blank line, a missing "=" or an
// empty side would be refused when the preset is loaded.
TEST(X264Presets, EveryLineIsKeyEqualsValue) {
  for (const auto& preset : engine::BuiltInPresets()) {
    std::string_view text = preset.Text;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      size_t eq = line.find('=');
      EXPECT_TRUE(eq != std::string_view::npos && eq > 0 && eq + 1 < line.size())
          << preset.Name << ": \"" << line << "\"";
      pos = end + 1;
    }
  }
}
