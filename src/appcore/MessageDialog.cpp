#include "appcore/MessageDialog.h"

#include <QAbstractButton>
#include <QApplication>

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

core::MessageAnswer MessageDialogWithButtons(const std::string& message, const std::string& caption,
                                             core::MessageKind kind,
                                             const std::vector<std::string>& buttonTexts) {
  auto box = CreateMessageDialog(message, caption, kind, QApplication::activeWindow());
  // The buttons in the order they are laid out, as the texts are meant for them.
  QList<QAbstractButton*> ordered;
  for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No}) {
    if (QAbstractButton* button = box->button(b)) ordered.push_back(button);
  }
  for (qsizetype i = 0; i < ordered.size() && i < static_cast<qsizetype>(buttonTexts.size()); ++i) {
    if (!buttonTexts[i].empty()) ordered[i]->setText(QString::fromStdString(buttonTexts[i]));
  }
  QApplication::beep();
  box->exec();
  return MessageDialogAnswer(*box);
}

}  // namespace app
