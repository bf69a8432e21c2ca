#pragma once
// Access to the desktop: the user's folders, opening links and files with their default
// programs, power actions, message dialogs with own button texts, the folder dialog and
// the busy cursor. Qt.

#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "core/Messages.h"

class QWidget;

namespace app {

// The user's folder of a given name, without a trailing separator: "AppData" is the
// per-user configuration folder (which may not exist yet), "Personal" the documents
// folder when it exists. Any other name, or a folder the desktop does not know, gives the
// home folder.
std::string GetShellFolder(const std::string& name);

// What OpenWithShell hands to the desktop: a link with a scheme as it is, anything else
// (a path) as a file URL.
QUrl ShellTargetUrl(const std::string& target);
// Opens a link, folder or file with its default program; the desktop's answer is ignored.
void OpenWithShell(const std::string& target);

// Process privileges need no adjusting here: logind decides about power actions.
bool EnablePrivilege(const std::string& privilege, bool enable);

// 0 ends the application's event loop; 1 and 2 power the computer off, 3 restarts it,
// 4 hibernates, 5 suspends (the last four through logind). Other kinds do nothing.
void PowerAction(int kind);
// The logind method of a power kind, or an empty text for kinds logind does not serve.
std::string LogindMethodForPowerKind(int kind);
// Replaces what PowerAction does (tests record the kinds instead of acting); an empty
// function restores the real behaviour.
void SetPowerActionHandler(std::function<void(int)> handler);

// A modal message box of the kind (Information, Warning, Error: OK; Confirmation: Yes,
// No) with the caption; the button captions are replaced in order by the given texts (an
// empty text keeps the button's own caption, extra texts are ignored). Plays the desktop's
// alert sound first. Returns the button clicked; closing the box with Escape or its
// window button answers OK for an OK box and No for a Yes/No box.
core::MessageAnswer MessageDialogWithButtons(const std::string& message, const std::string& caption,
                                             core::MessageKind kind,
                                             const std::vector<std::string>& buttonTexts);

// The folder dialog (folders only) starting at `folder`. On OK puts the chosen path (as
// the dialog gives it, without a trailing separator) into folder and returns true; on
// Cancel returns false and leaves folder alone.
bool SelectFolder(QWidget* owner, std::string& folder, const std::string& prompt);

// The busy cursor: BeginBusy shows it and counts; EndBusy counts down and restores the
// normal cursor when the count reaches 0; an EndBusy without BeginBusy does nothing.
void BeginBusy();
void EndBusy();
int BusyCount();

}  // namespace app
