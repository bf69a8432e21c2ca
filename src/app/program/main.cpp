// wizconv: the windowed converter. Takes no arguments.
#include <QApplication>

#include "app/mainwindow/ProgramEntry.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunProgram();
}
