#include "app/MessageDialog.h"

namespace app {

std::unique_ptr<QMessageBox> CreateMessageDialog(const std::string& message,
                                                 const std::string& caption, core::MessageKind kind,
                                                 QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(QString::fromStdString(caption));
  box->setTextFormat(Qt::PlainText);
  box->setText(QString::fromStdString(message));
  switch (kind) {
    case core::MessageKind::Information:
      box->setIcon(QMessageBox::Information);
      break;
    case core::MessageKind::Warning:
      box->setIcon(QMessageBox::Warning);
      break;
    case core::MessageKind::Error:
      box->setIcon(QMessageBox::Critical);
      break;
    case core::MessageKind::Confirmation:
      box->setIcon(QMessageBox::Question);
      break;
  }
  if (kind == core::MessageKind::Confirmation) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
  }
  return box;
}

core::MessageAnswer MessageDialogAnswer(const QMessageBox& box) {
  const bool yesNo = box.button(QMessageBox::Yes) != nullptr;
  auto* clicked = box.clickedButton();
  if (clicked == nullptr) return yesNo ? core::MessageAnswer::No : core::MessageAnswer::Ok;
  switch (box.standardButton(clicked)) {
    case QMessageBox::Yes:
      return core::MessageAnswer::Yes;
    case QMessageBox::No:
      return core::MessageAnswer::No;
    case QMessageBox::Cancel:
      return core::MessageAnswer::Cancel;
    default:
      return core::MessageAnswer::Ok;
  }
}

}  // namespace app
