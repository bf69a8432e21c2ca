#pragma once
// A complete edition folder for the main window's tests: the build's skin, sounds and
// icon, and a branding file written from plain key lines that a test can change.

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/mainwindow/MainWindow.h"

namespace mwtest {

// Records the links the program hands to the desktop instead of opening them.
class LinkRecorder : public QObject {
  Q_OBJECT
 public:
  LinkRecorder();
  ~LinkRecorder() override;
  std::vector<std::string> links;
 public slots:
  void open(const QUrl& url);
};

class Edition {
 public:
  Edition();
  // Branding keys of the plain text; an empty value string removes nothing, use Remove.
  void Set(const std::string& key, const std::string& value);
  void Remove(const std::string& key);
  // Writes dudozava.dll from the keys.
  void WriteBranding() const;
  std::string PlainBranding() const;

  std::string exeDir() const { return exe_.string() + "/"; }
  std::string appData() const { return (dir_.path() / "appdata").string(); }
  std::string documents() const { return (dir_.path() / "docs").string(); }
  std::filesystem::path root() const { return dir_.path(); }

  // A main window over this edition; the title is taken from the branding's Name.
  std::unique_ptr<app::TFormMain> Open(app::MainWindowEnvironment env = {}) const;

 private:
  testsupport::TempDir dir_;
  std::filesystem::path exe_;
  std::vector<std::pair<std::string, std::string>> keys_;
};

}  // namespace mwtest
