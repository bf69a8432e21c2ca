#pragma once
// The one place where the option vocabulary of the old codec libraries that presets and
// stored settings still speak becomes the vocabulary of the installed libraries. Every
// other option passes through unchanged and keeps the strict refusal of unknown names.

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Encoder names the installed libraries know under another name ("libfaac" -> "aac");
// any other name is returned unchanged.
std::string TranslateEncoderName(std::string_view name);

struct TranslatedOption {
  std::string Name;
  std::string Value;
  bool operator==(const TranslatedOption&) const = default;
};

struct TranslationResult {
  // What to set instead, in order; empty when the option is dropped or refused.
  std::vector<TranslatedOption> Options;
  // Old names (or flag words as "flags2 +name") that have no equivalent and were dropped;
  // they are named in one warning line of the engine log.
  std::vector<std::string> Dropped;
  // Set when the value cannot be translated: the refusal text, in the wording of a refused
  // library option.
  std::string Refusal;
};

// Translates one library option of a job. The x264 deblocking strengths arrive as two
// separate old options but are one new option, so the translator remembers both halves for
// the job it belongs to and every half re-emits the pair.
class TOptionTranslator {
 public:
  TranslationResult Translate(std::string_view name, std::string_view value);

 private:
  std::string deblockAlpha_ = "0";
  std::string deblockBeta_ = "0";
};

}  // namespace engine
