#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogCapture.h"
#include "engine/OptionTranslation.h"
#include "engine/X264Presets.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

using engine::TOptionTranslator;
using engine::TranslatedOption;

namespace {

struct X264Context {
  X264Context() {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec) context = avcodec_alloc_context3(codec);
  }
  ~X264Context() { avcodec_free_context(&context); }
  int Set(const std::string& name, const std::string& value) {
    return av_opt_set(context, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
  }
  AVCodecContext* context = nullptr;
};

std::vector<std::pair<std::string, std::string>> PresetLines(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> lines;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    size_t eq = line.find('=');
    lines.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    pos = end + 1;
  }
  return lines;
}

}  // namespace

TEST(OptionTranslation, EncoderNames) {
  EXPECT_EQ(engine::TranslateEncoderName("libfaac"), "aac");
  // Names the installed libraries know stay as they are, letter case included.
  EXPECT_EQ(engine::TranslateEncoderName("libx264"), "libx264");
  EXPECT_EQ(engine::TranslateEncoderName("LIBFAAC"), "LIBFAAC");
  EXPECT_EQ(engine::TranslateEncoderName(""), "");
  EXPECT_NE(avcodec_find_encoder_by_name(engine::TranslateEncoderName("libfaac").c_str()), nullptr);
}

// The reason the table exists: these old names are refused by the installed libx264, the
// other words of the same presets are still taken as they are.
TEST(OptionTranslation, InstalledLibx264RefusesExactlyTheTranslatedNames) {
  X264Context x264;
  ASSERT_NE(x264.context, nullptr) << "libx264 is not installed";
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"deblockalpha", "0"},     {"deblockbeta", "0"},    {"directpred", "1"},
      {"flags2", "+mixed_refs"}, {"flags2", "+wpred"},    {"flags2", "+dct8x8"},
      {"flags2", "+fastpskip"},  {"flags2", "+bpyramid"}, {"flags2", "-mbtree"},
      {"rc_lookahead", "40"},    {"aq_mode", "0"},        {"cqp", "0"},
  };
  for (const auto& [name, value] : refused)
    EXPECT_LT(x264.Set(name, value), 0) << name << "=" << value;
  const std::vector<std::pair<std::string, std::string>> accepted = {
      {"flags", "+loop"},   {"cmp", "+chroma"},    {"partitions", "+parti8x8+parti4x4"},
      {"me_method", "hex"}, {"me_method", "tesa"}, {"wpredp", "2"},
      {"coder", "0"},       {"b_strategy", "2"},   {"i_qfactor", "0.71"},
  };
  for (const auto& [name, value] : accepted)
    EXPECT_EQ(x264.Set(name, value), 0) << name << "=" << value;
}

TEST(OptionTranslation, EveryRowBecomesTheInstalledOption) {
  struct Case {
    std::string name, value;
    std::vector<TranslatedOption> expected;
  };
  const std::vector<Case> cases = {
      {"directpred", "0", {{"direct-pred", "none"}}},
      {"directpred", "1", {{"direct-pred", "spatial"}}},
      {"directpred", "2", {{"direct-pred", "temporal"}}},
      {"directpred", "3", {{"direct-pred", "auto"}}},
      {"flags2", "+mixed_refs", {{"mixed-refs", "1"}}},
      {"flags2", "-mixed_refs", {{"mixed-refs", "0"}}},
      {"flags2", "+wpred", {{"weightb", "1"}}},
      {"flags2", "-dct8x8", {{"8x8dct", "0"}}},
      {"flags2", "fastpskip", {{"fast-pskip", "1"}}},
      {"flags2", "-fastpskip", {{"fast-pskip", "0"}}},
      {"flags2", "+bpyramid", {{"b-pyramid", "normal"}}},
      {"flags2", "-bpyramid", {{"b-pyramid", "none"}}},
      {"flags2", "-mbtree", {{"mbtree", "0"}}},
      {"flags2",
       "+mixed_refs+wpred+dct8x8+fastpskip",
       {{"mixed-refs", "1"}, {"weightb", "1"}, {"8x8dct", "1"}, {"fast-pskip", "1"}}},
      // A word the installed "flags2" still has stays in "flags2", ahead of the rest.
      {"flags2", "+fast-wpred", {{"flags2", "+fast"}, {"weightb", "0"}}},
      {"rc_lookahead", "40", {{"rc-lookahead", "40"}}},
      {"aq_mode", "0", {{"aq-mode", "0"}}},
      {"cqp", "0", {{"qp", "0"}}},
      // Everything else passes unchanged, so the strict refusal still applies to it.
      {"flags", "+loop", {{"flags", "+loop"}}},
      {"me_method", "umh", {{"me_method", "umh"}}},
      {"no_such_option", "1", {{"no_such_option", "1"}}},
      {"flags2", "", {{"flags2", ""}}},
  };
  for (const auto& c : cases) {
    TOptionTranslator translator;
    auto result = translator.Translate(c.name, c.value);
    EXPECT_EQ(result.Options, c.expected) << c.name << "=" << c.value;
    EXPECT_TRUE(result.Dropped.empty()) << c.name << "=" << c.value;
    EXPECT_EQ(result.Refusal, "") << c.name << "=" << c.value;
  }
}

// The two halves arrive as separate lines; each re-emits the pair so the last one set wins
// with both values, and a second job starts from 0:0 again.
TEST(OptionTranslation, DeblockHalvesCombineWithinOneJob) {
  TOptionTranslator job;
  EXPECT_EQ(job.Translate("deblockalpha", "-2").Options,
            (std::vector<TranslatedOption>{{"deblock", "-2:0"}}));
  EXPECT_EQ(job.Translate("deblockbeta", "+3").Options,
            (std::vector<TranslatedOption>{{"deblock", "-2:3"}}));
  EXPECT_EQ(job.Translate("deblockalpha", "1").Options,
            (std::vector<TranslatedOption>{{"deblock", "1:3"}}));
  TOptionTranslator otherJob;
  EXPECT_EQ(otherJob.Translate("deblockbeta", "1").Options,
            (std::vector<TranslatedOption>{{"deblock", "0:1"}}));
}

TEST(OptionTranslation, UntranslatableValuesAreRefusedWithTheOptionsName) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"directpred", "4"},    {"directpred", "-1"},
      {"directpred", "auto"}, {"directpred", ""},
      {"deblockalpha", "x"},  {"deblockbeta", "1.5"},
      {"deblockbeta", ""},    {"deblockalpha", "99999999999999999999"},
      {"flags2", "+"},        {"flags2", "+wpred++dct8x8"},
  };
  for (const auto& [name, value] : bad) {
    TOptionTranslator translator;
    auto result = translator.Translate(name, value);
    EXPECT_EQ(result.Refusal, "Invalid value \"" + value + "\" for option \"" + name + "\"")
        << name << "=" << value;
    EXPECT_TRUE(result.Options.empty()) << name << "=" << value;
  }
}

TEST(OptionTranslation, WordsWithoutAnEquivalentAreDroppedWithOneWarning) {
  LogCapture log;
  TOptionTranslator translator;
  auto result = translator.Translate("flags2", "+wpred+brdo-noout\x01");
  EXPECT_EQ(result.Options, (std::vector<TranslatedOption>{{"weightb", "1"}}));
  EXPECT_EQ(result.Dropped, (std::vector<std::string>{"flags2 +brdo", "flags2 -noout\x01"}));
  auto warnings = log.Matching(engine::llWarning, "flags2 +brdo");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("flags2 -noout"), std::string::npos);
}

// Every line of every built-in preset reaches a real libx264 context without a refusal
// once translated, and the encoder then opens with the whole preset applied.
TEST(OptionTranslation, EveryBuiltInPresetAppliesToTheInstalledLibx264) {
  for (const auto& preset : engine::BuiltInPresets()) {
    X264Context x264;
    ASSERT_NE(x264.context, nullptr);
    TOptionTranslator translator;
    for (const auto& [name, value] : PresetLines(preset.Text)) {
      auto result = translator.Translate(name, value);
      EXPECT_EQ(result.Refusal, "") << preset.Name << ": " << name << "=" << value;
      EXPECT_TRUE(result.Dropped.empty()) << preset.Name << ": " << name << "=" << value;
      for (const auto& option : result.Options)
        EXPECT_EQ(x264.Set(option.Name, option.Value), 0)
            << preset.Name << ": " << option.Name << "=" << option.Value;
    }
    x264.context->width = 64;
    x264.context->height = 48;
    x264.context->pix_fmt = AV_PIX_FMT_YUV420P;
    x264.context->time_base = {1, 25};
    if (x264.context->bit_rate == 0 && x264.context->rc_max_rate > 0)
      x264.context->bit_rate = x264.context->rc_max_rate / 2;
    EXPECT_EQ(avcodec_open2(x264.context, nullptr, nullptr), 0) << preset.Name;
  }
}
