#include "appcore/WindowPlacementQt.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace app {

namespace {
bool resizable(const QWidget* window) { return window->minimumSize() != window->maximumSize(); }
}  // namespace

WindowPlacement CurrentWindowPlacement(const QWidget* window) {
  WindowPlacement p;
  p.maximized = window->isMaximized();
  QRect geometry(window->pos(), window->size());
  if (p.maximized && window->normalGeometry().isValid()) {
    // The normal geometry is the inside of the frame; positions here are of the frame.
    const QPoint frame = window->geometry().topLeft() - window->frameGeometry().topLeft();
    geometry = window->normalGeometry().translated(-frame);
  }
  p.x = geometry.x();
  p.y = geometry.y();
  p.height = geometry.height();
  p.width = geometry.width();
  return p;
}

void SaveWindowPlacement(SettingsStore& store, const std::string& section, const QWidget* window) {
  store.SaveWindowPlacement(section, CurrentWindowPlacement(window));
}

bool RestoreWindowPlacement(const SettingsStore& store, const std::string& section,
                            QWidget* window) {
  WindowPlacement current;
  current.x = window->x();
  current.y = window->y();
  current.height = window->height();
  current.width = window->width();
  WindowPlacement p = store.ReadWindowPlacement(section, current);
  const bool applySize = resizable(window);
  if (!applySize) {
    // The window keeps its size, so that size is what must fit on the screen.
    p.width = window->width();
    p.height = window->height();
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    p = BoundPlacement(p, screen->geometry().width(), screen->geometry().height());
  }
  // Leaving the maximized state puts back the geometry from before it, so that comes
  // first; entering it takes the geometry set now as the one to return to, so that comes last.
  const Qt::WindowStates state = window->windowState();
  if (!p.maximized) window->setWindowState(state & ~Qt::WindowMaximized);
  window->move(p.x, p.y);
  if (applySize) window->resize(p.width, p.height);
  if (p.maximized) window->setWindowState(state | Qt::WindowMaximized);
  return true;
}

}  // namespace app
