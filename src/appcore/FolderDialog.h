#pragma once
// The folder dialog. Qt.

#include <string>

class QWidget;

namespace app {

// The folder dialog (folders only) starting at `folder`. On OK puts the chosen path (as
// the dialog gives it, without a trailing separator) into folder and returns true; on
// Cancel returns false and leaves folder alone.
bool SelectFolder(QWidget* owner, std::string& folder, const std::string& prompt);

}  // namespace app
