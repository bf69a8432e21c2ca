#pragma once
// Answering the modal dialogs a test opens, from the event loop of the dialog's exec().

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>

namespace dialogtest {

// Runs `act` on the first modal dialog of type T that appears, from the event loop of
// whatever modal exec() is running. Gives up (and records a failure) after a few seconds.
template <typename T>
inline void whenDialogShows(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(dialog);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no dialog appeared";
    }
  });
  timer->start();
}

inline QAbstractButton* buttonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

}  // namespace dialogtest
