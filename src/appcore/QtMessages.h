#pragma once
// The windowed program's message boxes: core::Messages shown as Qt message boxes.
// Installed at start-up with core::Messages::Install.

#include "core/Messages.h"

namespace app {

class QtMessages : public core::Messages {
 public:
  // Shows a modal box with the caption, the icon of the kind and OK (Yes/No for a
  // confirmation). Called from another thread, it is shown on the main thread and the
  // caller waits for the answer.
  core::MessageAnswer Show(core::MessageKind kind, const std::string& caption,
                           const std::string& text) override;
};

}  // namespace app
