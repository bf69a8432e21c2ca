// Codec, format and scaler options of a job: set on the job's option objects, recorded in
// order, and later copied onto the real codec and format contexts.

#include <string_view>

#include "engine/CustomFFmpeg.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace engine {
namespace {

// The option-flag mask each kind's option object is searched with.
constexpr int kKindMasks[okKindCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                         AV_OPT_FLAG_SUBTITLE_PARAM, 0};

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

// Whether the own options of some encoder, decoder or muxer know the name.
bool KnownToAPrivateClass(const std::string& name) {
  void* state = nullptr;
  while (const AVCodec* codec = av_codec_iterate(&state)) {
    const AVClass* cls = codec->priv_class;
    if (cls && av_opt_find(&cls, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) return true;
  }
  state = nullptr;
  while (const AVOutputFormat* format = av_muxer_iterate(&state)) {
    const AVClass* cls = format->priv_class;
    if (cls && av_opt_find(&cls, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) return true;
  }
  return false;
}

}  // namespace

bool TCustomFFmpeg::SetLibraryOption(const std::string& name, const std::string& value) {
  if (IsBlank(name)) {
    // Said in words, so the caller never reports the previous option's refusal instead.
    SetLastOptionError("Unrecognized option \"" + name + "\"");
    return false;
  }
  TranslationResult translated = translator_.Translate(name, value);
  if (!translated.Refusal.empty()) {
    SetLastOptionError(translated.Refusal);
    Log(llError, translated.Refusal);
    return false;
  }
  for (const auto& option : translated.Options)
    if (!SetOneLibraryOption(option.Name, option.Value)) return false;
  return true;
}

bool TCustomFFmpeg::SetOneLibraryOption(const std::string& name, const std::string& value) {
  int result = 0;
  bool found = false;
  bool flagsOption = false;
  void* videoOptions = codecOptions_[okVideo].get();
  for (int kind = 0; kind < okKindCount && result >= 0; ++kind) {
    if (const AVOption* option =
            av_opt_find(videoOptions, name.c_str(), nullptr, kKindMasks[kind], 0)) {
      found = true;
      flagsOption = option->type == AV_OPT_TYPE_FLAGS;
      result = av_opt_set(codecOptions_[kind].get(), name.c_str(), value.c_str(), 0);
    }
  }
  if (!found) {
    for (void* object :
         {static_cast<void*>(formatOptions_.get()), static_cast<void*>(scalerOptions_.get())}) {
      if (av_opt_find(object, name.c_str(), nullptr, 0, 0)) {
        found = true;
        result = av_opt_set(object, name.c_str(), value.c_str(), 0);
        break;
      }
    }
  }
  std::string recordedName = name;
  if (!found && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
    void* object = codecOptions_[name[0] == 'a'   ? okAudio
                                 : name[0] == 'v' ? okVideo
                                                  : okSubtitle]
                       .get();
    const std::string shortName = name.substr(1);
    if (av_opt_find(object, shortName.c_str(), nullptr, 0, 0)) {
      found = true;
      recordedName = shortName;
      result = av_opt_set(object, shortName.c_str(), value.c_str(), 0);
    }
  }
  if (found && result < 0) {
    const std::string text = "Invalid value \"" + value + "\" for option \"" + name + "\"";
    SetLastOptionError(text);
    Log(llError, text);
    return false;
  }
  if (!found) {
    if (!KnownToAPrivateClass(name)) {
      const std::string text = "Unrecognized option \"" + name + "\"";
      SetLastOptionError(text);
      Log(llError, text);
      return false;
    }
    recordedOptions_.push_back({name, value, ""});
  } else {
    const bool relative = flagsOption && !value.empty() && (value[0] == '+' || value[0] == '-');
    recordedOptions_.push_back({recordedName, "", relative ? value : std::string()});
  }
  int64_t debug = 0;
  bool debugOn = av_opt_get_int(videoOptions, "debug", 0, &debug) >= 0 && debug != 0;
  debug = 0;
  debugOn =
      debugOn || (av_opt_get_int(formatOptions_.get(), "fdebug", 0, &debug) >= 0 && debug != 0);
  if (debugOn) DefaultLogger().SetLogLevel(llDebug);
  return true;
}

namespace {

// Copies one recorded option from an option object onto a context, or onto the context's
// private options when only those know it.
void CopyRecordedOption(void* context, void* privateOptions, void* optionObject,
                        const TRecordedOption& option, int flags) {
  const AVOption* generic = av_opt_find(optionObject, option.Name.c_str(), nullptr, 0, 0);
  if (generic && !option.Relative.empty()) {
    if ((generic->flags & flags) == flags)
      av_opt_set(context, option.Name.c_str(), option.Relative.c_str(), 0);
  } else if (generic && option.Value.empty()) {
    uint8_t* text = nullptr;
    if (av_opt_get(optionObject, option.Name.c_str(), 0, &text) >= 0 && text) {
      if ((generic->flags & flags) == flags)
        av_opt_set(context, option.Name.c_str(), reinterpret_cast<char*>(text), 0);
      av_free(text);
    }
  } else if (privateOptions) {
    av_opt_set(privateOptions, option.Name.c_str(), option.Value.c_str(), 0);
  }
}

}  // namespace

void TCustomFFmpeg::ApplyRecordedOptions(AVCodecContext* context, TOptionKind kind, int flags) {
  void* privateOptions =
      context->codec && context->codec->priv_class ? context->priv_data : nullptr;
  for (const auto& option : recordedOptions_)
    CopyRecordedOption(context, privateOptions, codecOptions_[kind].get(), option, flags);
}

void TCustomFFmpeg::ApplyRecordedOptions(AVFormatContext* context, int flags) {
  void* privateOptions =
      context->oformat && context->oformat->priv_class ? context->priv_data : nullptr;
  for (const auto& option : recordedOptions_)
    CopyRecordedOption(context, privateOptions, formatOptions_.get(), option, flags);
}

}  // namespace engine
