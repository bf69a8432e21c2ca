#include "enginebase/LibraryLog.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "log/FFLogger.h"

extern "C" {
#include <libavutil/log.h>
}

namespace engine {
namespace {

// Parent contexts are known to classes of library version 50.15.3 and later.
constexpr int kParentContextVersion = (50 << 16) | (15 << 8) | 3;

std::string contextName(void* context) {
  const AVClass* cls = *static_cast<AVClass**>(context);
  const char* name = cls->item_name ? cls->item_name(context) : nullptr;
  char text[256];
  std::snprintf(text, sizeof text, "[%s @ %08" PRIXPTR "]", name ? name : "NULL",
                reinterpret_cast<uintptr_t>(context));
  return text;
}

std::string contextPrefix(void* context) {
  if (!context) return {};
  const AVClass* cls = *static_cast<AVClass**>(context);
  if (!cls) return {};
  std::string prefix;
  if (cls->version >= kParentContextVersion && cls->parent_log_context_offset) {
    void* parent =
        *reinterpret_cast<void**>(static_cast<uint8_t*>(context) + cls->parent_log_context_offset);
    if (parent && *static_cast<AVClass**>(parent)) prefix = contextName(parent) + " ";
  }
  // The blank keeps the context apart from the library's text, which starts without one.
  return prefix + contextName(context) + " ";
}

std::string formatText(const char* format, va_list args) {
  // Most lines fit the first buffer; longer ones are measured and written whole.
  char small[2048];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return {};
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

void libraryCallback(void* context, int level, const char* format, va_list args) {
  if (level >= 0) level &= 0xFF;  // the high bits carry colour hints
  if (level > CurrentLibraryLevel()) return;
  LibraryFragment(level, contextPrefix(context), formatText(format, args));
}

}  // namespace

void InstallLibraryCallback() {
  av_log_set_callback(&libraryCallback);
  SetLibraryLevelSetter([](int level) { av_log_set_level(level); });
}

}  // namespace engine
