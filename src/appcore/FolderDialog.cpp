#include "appcore/FolderDialog.h"

#include <QFileDialog>

namespace app {

bool SelectFolder(QWidget* owner, std::string& folder, const std::string& prompt) {
  const QString chosen =
      QFileDialog::getExistingDirectory(owner, QString::fromStdString(prompt),
                                        QString::fromStdString(folder), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return false;
  folder = chosen.toStdString();
  return true;
}

}  // namespace app
