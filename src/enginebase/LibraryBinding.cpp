#include "enginebase/LibraryBinding.h"

#include <cstdio>

#include "enginebase/LibraryLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace engine {
namespace {

struct LoaderState {
  bool loaded = false;
  std::string lastLoadError;
  std::string libraryPath;
};

LoaderState& loader() {
  static LoaderState state;
  return state;
}

std::string versionText(unsigned v) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u", AV_VERSION_MAJOR(v), AV_VERSION_MINOR(v),
                AV_VERSION_MICRO(v));
  return text;
}

std::string fileName(const char* name, unsigned buildVersion) {
  return "lib" + std::string(name) + ".so." + std::to_string(AV_VERSION_MAJOR(buildVersion));
}

}  // namespace

std::vector<LibraryVersion> LinkedLibraryVersions() {
  return {
      {"avcodec", fileName("avcodec", LIBAVCODEC_VERSION_INT), LIBAVCODEC_VERSION_INT,
       avcodec_version()},
      {"avfilter", fileName("avfilter", LIBAVFILTER_VERSION_INT), LIBAVFILTER_VERSION_INT,
       avfilter_version()},
      {"avformat", fileName("avformat", LIBAVFORMAT_VERSION_INT), LIBAVFORMAT_VERSION_INT,
       avformat_version()},
      {"avutil", fileName("avutil", LIBAVUTIL_VERSION_INT), LIBAVUTIL_VERSION_INT,
       avutil_version()},
      {"swresample", fileName("swresample", LIBSWRESAMPLE_VERSION_INT), LIBSWRESAMPLE_VERSION_INT,
       swresample_version()},
      {"swscale", fileName("swscale", LIBSWSCALE_VERSION_INT), LIBSWSCALE_VERSION_INT,
       swscale_version()},
  };
}

bool LoadEngineLibraries(const std::string& folder) {
  return LoadEngineLibraries(folder, LinkedLibraryVersions());
}

bool LoadEngineLibraries(const std::string& folder, const std::vector<LibraryVersion>& versions) {
  LoaderState& state = loader();
  if (state.loaded) return true;
  state.libraryPath = folder;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  for (const auto& v : versions) {
    if (AV_VERSION_MAJOR(v.build) != AV_VERSION_MAJOR(v.runtime)) {
      state.lastLoadError = "Load library " + prefix + v.fileName + " error: version " +
                            versionText(v.runtime) + " found, the program needs version " +
                            std::to_string(AV_VERSION_MAJOR(v.build));
      return false;
    }
  }
  InstallLibraryCallback();
  state.loaded = true;
  return true;
}

bool EngineLibrariesLoaded() { return loader().loaded; }
const std::string& LastLoadError() { return loader().lastLoadError; }
const std::string& LibraryPath() { return loader().libraryPath; }

std::mutex& CodecLock() {
  static std::mutex* lock = new std::mutex;  // codec threads may still close at exit
  return *lock;
}

}  // namespace engine
