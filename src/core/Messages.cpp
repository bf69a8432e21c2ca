#include "core/Messages.h"

#include <iostream>

namespace core {
namespace {

// Used until a real implementation is installed: prints and declines every
// confirmation, so that nothing destructive happens without a person's answer.
class ConsoleMessages : public Messages {
 public:
  MessageAnswer Show(MessageKind kind, const std::string& caption,
                     const std::string& text) override {
    std::cerr << caption << ": " << text << std::endl;
    return kind == MessageKind::Confirmation ? MessageAnswer::No : MessageAnswer::Ok;
  }
};

ConsoleMessages& consoleMessages() {
  static ConsoleMessages m;
  return m;
}

Messages*& installed() {
  static Messages* m = nullptr;
  return m;
}

std::string& title() {
  static std::string t;
  return t;
}

}  // namespace

void Messages::SetTitle(const std::string& t) { title() = t; }
const std::string& Messages::Title() { return title(); }

void Messages::Install(Messages* messages) { installed() = messages; }

Messages& Messages::Get() {
  Messages* m = installed();
  return m ? *m : consoleMessages();
}

void Messages::Information(const std::string& text) {
  Get().Show(MessageKind::Information, Title(), text);
}
void Messages::Warning(const std::string& text) { Get().Show(MessageKind::Warning, Title(), text); }
void Messages::Error(const std::string& text) { Get().Show(MessageKind::Error, Title(), text); }
bool Messages::Confirm(const std::string& text) { return Confirm(Title(), text); }
bool Messages::Confirm(const std::string& caption, const std::string& text) {
  return Get().Show(MessageKind::Confirmation, caption, text) == MessageAnswer::Yes;
}

}  // namespace core
