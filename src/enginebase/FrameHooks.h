#pragma once
// Frame-hook modules for the `vhook` option: shared objects exporting "Configure",
// "Process" and "Release", chained per job, each seeing every decoded picture.
//
//   int  Configure(void** context, int argc, char* argv[]);   // optional; 0 = success
//   void Process(void* context, uint8_t* data[4], int linesize[4], int pixelFormat,
//                int width, int height, int64_t pts);
//   void Release(void* context);                                // optional

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

using HookConfigureFn = int (*)(void** context, int argc, char* argv[]);
using HookProcessFn = void (*)(void* context, uint8_t* data[4], int linesize[4], int pixelFormat,
                               int width, int height, int64_t pts);
using HookReleaseFn = void (*)(void* context);

class TFrameHookList {
 public:
  TFrameHookList() = default;
  ~TFrameHookList();  // releases every hook
  TFrameHookList(const TFrameHookList&) = delete;
  TFrameHookList& operator=(const TFrameHookList&) = delete;

  // words: the module file name, then its arguments. 0 when the hook joined the chain;
  // -2 with no words or a missing entry point, -1 when the module cannot be loaded, -22
  // when Configure refused. Failures are logged.
  int Add(const std::vector<std::string>& words);
  // Passes one picture through the chain in order.
  void Process(uint8_t* data[4], int linesize[4], int pixelFormat, int width, int height,
               int64_t pts);
  size_t Count() const { return hooks_.size(); }

 private:
  struct Hook {
    HookConfigureFn configure;
    HookProcessFn process;
    HookReleaseFn release;
    void* context;
  };
  std::vector<Hook> hooks_;
};

}  // namespace engine
