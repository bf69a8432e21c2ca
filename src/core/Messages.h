#pragma once
// The one way the program shows a message box or asks for a confirmation.
// Windows call Messages::Get(); the windowed program installs a message-box
// implementation at start-up, tests install one that answers by script.
// Plain C++: no Qt here, texts are UTF-8.

#include <string>
#include <vector>

namespace core {

enum class MessageKind { Information, Warning, Error, Confirmation };

// What the person answered.
enum class MessageAnswer { Ok, Yes, No, Cancel };

class Messages {
 public:
  virtual ~Messages() = default;

  // Shows one modal message with the standard buttons of its kind
  // (Information, Warning, Error: OK; Confirmation: Yes and No).
  virtual MessageAnswer Show(MessageKind kind, const std::string& caption,
                             const std::string& text) = 0;

  // The caption every message box carries: the application title.
  static void SetTitle(const std::string& title);
  static const std::string& Title();

  static void Install(Messages* messages);  // not owned; nullptr restores the default
  static Messages& Get();

  // Shortcuts with the application title as caption.
  static void Information(const std::string& text);
  static void Warning(const std::string& text);
  static void Error(const std::string& text);
  // True only when the answer is Yes.
  static bool Confirm(const std::string& text);
  static bool Confirm(const std::string& caption, const std::string& text);
};

}  // namespace core
