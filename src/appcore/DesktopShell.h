#pragma once
// The user's folders and opening links, folders and files with their default programs.
// Qt.

#include <QUrl>
#include <string>

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

}  // namespace app
