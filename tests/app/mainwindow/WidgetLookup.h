#pragma once
// Finding the main window's controls by their object names, and clicking them, as the
// window tests do.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <QWidget>
#include <string>

namespace mwtest {

// The child of that name and type; a missing one is a test failure.
template <typename T = QWidget>
T* child(QWidget* w, const char* name) {
  T* c = w->findChild<T*>(name);
  EXPECT_NE(c, nullptr) << name;
  return c;
}

inline void click(QWidget* w, const char* name) {
  QTest::mouseClick(child(w, name), Qt::LeftButton);
}

// The caption of a button or the text of a label.
inline std::string text(QWidget* w, const char* name) {
  if (auto* b = w->findChild<QAbstractButton*>(name)) return b->text().toStdString();
  return child<QLabel>(w, name)->text().toStdString();
}

}  // namespace mwtest
