// wizconv: the windowed converter. wizconv [FILE...] opens on step 1 with the files.
#include <QApplication>

#include "app/mainwindow/ProgramEntry.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunProgram();
}
