#pragma once
// The message box every message of the program is shown in: caption, the icon of the kind,
// plain text, OK or Yes/No. Qt.

#include <QMessageBox>
#include <memory>
#include <string>

#include "core/Messages.h"

class QWidget;

namespace app {

// A box ready to be shown; its text is plain (a "<" in a file name is shown as it is).
std::unique_ptr<QMessageBox> CreateMessageDialog(const std::string& message,
                                                 const std::string& caption, core::MessageKind kind,
                                                 QWidget* parent = nullptr);

// The answer a finished box stands for: the button clicked, or what closing it means.
core::MessageAnswer MessageDialogAnswer(const QMessageBox& box);

}  // namespace app
