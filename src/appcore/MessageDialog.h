#pragma once
// The message box every message of the program is shown in: caption, the icon of the kind,
// plain text, OK or Yes/No. Qt.

#include <QMessageBox>
#include <memory>
#include <string>
#include <vector>

#include "core/Messages.h"

class QWidget;

namespace app {

// A box ready to be shown; its text is plain (a "<" in a file name is shown as it is).
std::unique_ptr<QMessageBox> CreateMessageDialog(const std::string& message,
                                                 const std::string& caption, core::MessageKind kind,
                                                 QWidget* parent = nullptr);

// The answer a finished box stands for: the button clicked, or what closing it means.
core::MessageAnswer MessageDialogAnswer(const QMessageBox& box);

// A modal message box of the kind (Information, Warning, Error: OK; Confirmation: Yes,
// No) with the caption; the button captions are replaced in order by the given texts (an
// empty text keeps the button's own caption, extra texts are ignored). Plays the desktop's
// alert sound first. Returns the button clicked; closing the box with Escape or its
// window button answers OK for an OK box and No for a Yes/No box.
core::MessageAnswer MessageDialogWithButtons(const std::string& message, const std::string& caption,
                                             core::MessageKind kind,
                                             const std::vector<std::string>& buttonTexts);

}  // namespace app
