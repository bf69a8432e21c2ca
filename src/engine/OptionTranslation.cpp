#include "engine/OptionTranslation.h"

#include <charconv>
#include <cstdlib>

#include "log/FFLogger.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace engine {
namespace {

struct NameRow {
  std::string_view oldName;
  std::string_view newName;
};

constexpr NameRow kEncoderNames[] = {
    {"libfaac", "aac"},
};

// Plain renames of x264 options whose values keep their meaning.
constexpr NameRow kRenamedOptions[] = {
    {"rc_lookahead", "rc-lookahead"},
    {"aq_mode", "aq-mode"},
    {"aq_strength", "aq-strength"},
    {"cqp", "qp"},
};

// Words of the old "flags2" option that became boolean x264 options.
constexpr NameRow kFlags2Words[] = {
    {"mixed_refs", "mixed-refs"},
    {"wpred", "weightb"},
    {"dct8x8", "8x8dct"},
    {"fastpskip", "fast-pskip"},
    {"mbtree", "mbtree"},
    {"aud", "aud"},
    {"psy", "psy"},
    {"ssim", "ssim"},
};

// "directpred" 0..3 in the order of the old libraries.
constexpr std::string_view kDirectModes[] = {"none", "spatial", "temporal", "auto"};

bool ParseInt(std::string_view text, int& out) {
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

std::string RefusalText(std::string_view name, std::string_view value) {
  return "Invalid value \"" + std::string(value) + "\" for option \"" + std::string(name) + "\"";
}

// Whether the installed libraries still know a word of the generic "flags2" option.
bool IsKnownFlags2Word(const std::string& word) {
  const AVClass* cls = avcodec_get_class();
  const AVOption* opt = av_opt_find(&cls, word.c_str(), "flags2", 0, AV_OPT_SEARCH_FAKE_OBJ);
  return opt != nullptr && opt->type == AV_OPT_TYPE_CONST;
}

TranslationResult TranslateFlags2(std::string_view value) {
  TranslationResult result;
  std::string kept;
  size_t pos = 0;
  while (pos < value.size()) {
    char sign = '+';
    if (value[pos] == '+' || value[pos] == '-') sign = value[pos++];
    size_t end = value.find_first_of("+-", pos);
    if (end == std::string_view::npos) end = value.size();
    std::string word(value.substr(pos, end - pos));
    pos = end;
    if (word.empty()) {
      result.Refusal = RefusalText("flags2", value);
      result.Options.clear();
      return result;
    }
    bool mapped = false;
    for (const auto& row : kFlags2Words) {
      if (row.oldName == word) {
        result.Options.push_back({std::string(row.newName), sign == '+' ? "1" : "0"});
        mapped = true;
        break;
      }
    }
    if (mapped) continue;
    if (word == "bpyramid") {
      result.Options.push_back({"b-pyramid", sign == '+' ? "normal" : "none"});
    } else if (IsKnownFlags2Word(word)) {
      kept += sign;
      kept += word;
    } else {
      result.Dropped.push_back(std::string("flags2 ") + sign + word);
    }
  }
  if (!kept.empty()) result.Options.insert(result.Options.begin(), {"flags2", kept});
  return result;
}

}  // namespace

std::string TranslateEncoderName(std::string_view name) {
  for (const auto& row : kEncoderNames)
    if (row.oldName == name) return std::string(row.newName);
  return std::string(name);
}

TranslationResult TOptionTranslator::Translate(std::string_view name, std::string_view value) {
  TranslationResult result;
  if (name == "deblockalpha" || name == "deblockbeta") {
    int strength = 0;
    if (!ParseInt(value, strength)) {
      result.Refusal = RefusalText(name, value);
      return result;
    }
    (name == "deblockalpha" ? deblockAlpha_ : deblockBeta_) = std::to_string(strength);
    result.Options.push_back({"deblock", deblockAlpha_ + ":" + deblockBeta_});
  } else if (name == "directpred") {
    int mode = -1;
    if (!ParseInt(value, mode) || mode < 0 || mode > 3) {
      result.Refusal = RefusalText(name, value);
      return result;
    }
    result.Options.push_back({"direct-pred", std::string(kDirectModes[mode])});
  } else if (name == "flags2" && !value.empty()) {
    result = TranslateFlags2(value);
  } else {
    std::string newName(name);
    for (const auto& row : kRenamedOptions)
      if (row.oldName == name) newName = row.newName;
    result.Options.push_back({newName, std::string(value)});
  }
  if (!result.Dropped.empty()) {
    std::string line = "Warning: dropped options the installed libraries no longer know:";
    for (const auto& word : result.Dropped) line += " " + word;
    DefaultLogger().Log(nullptr, llWarning, line);
  }
  return result;
}

}  // namespace engine
