#include "enginebase/FrameHooks.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "log/FFLogger.h"

namespace engine {
namespace {

// Modules are loaded once per process and kept: a later job reuses them.
void* loadModule(const std::string& fileName) {
  static std::mutex mutex;
  static std::map<std::string, void*> modules;
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = modules.find(fileName); it != modules.end()) return it->second;
  void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    DefaultLogger().Log(nullptr, llError, error ? error : ("cannot load " + fileName));
    return nullptr;
  }
  modules.emplace(fileName, handle);
  return handle;
}

}  // namespace

TFrameHookList::~TFrameHookList() {
  for (const auto& hook : hooks_)
    if (hook.release) hook.release(hook.context);
}

int TFrameHookList::Add(const std::vector<std::string>& words) {
  if (words.empty()) return -2;
  void* module = loadModule(words[0]);
  if (!module) return -1;
  Hook hook{reinterpret_cast<HookConfigureFn>(dlsym(module, "Configure")),
            reinterpret_cast<HookProcessFn>(dlsym(module, "Process")),
            reinterpret_cast<HookReleaseFn>(dlsym(module, "Release")), nullptr};
  if (!hook.process) {
    DefaultLogger().Log(nullptr, llError, "Failed to find Process entrypoint in " + words[0]);
    return -2;
  }
  if (!hook.configure && words.size() > 1) {
    DefaultLogger().Log(nullptr, llError, "Failed to find Configure entrypoint in " + words[0]);
    return -2;
  }
  if (hook.configure) {
    std::vector<std::string> copies(words);
    std::vector<char*> argv;
    for (auto& w : copies) argv.push_back(w.data());
    argv.push_back(nullptr);
    if (hook.configure(&hook.context, static_cast<int>(copies.size()), argv.data()) != 0) {
      DefaultLogger().Log(nullptr, llError, "Failed to Configure " + words[0]);
      return -22;
    }
  }
  hooks_.push_back(hook);
  return 0;
}

void TFrameHookList::Process(uint8_t* data[4], int linesize[4], int pixelFormat, int width,
                             int height, int64_t pts) {
  for (const auto& hook : hooks_)
    hook.process(hook.context, data, linesize, pixelFormat, width, height, pts);
}

}  // namespace engine
