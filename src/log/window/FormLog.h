#pragma once
// The log window: an always-on-top window that collects the program's log lines for the
// whole run and lets the user save them to a file or delete them. It is created hidden at
// start-up and never destroyed before the program ends; OK, Escape and the close box only
// hide it.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QEvent;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace logwindow {

class TFormLog : public QDialog {
  Q_OBJECT

 public:
  explicit TFormLog(QWidget* parent = nullptr);
  ~TFormLog() override;

  // Adds one line at the end of the log (UTF-8, no time stamp). Line breaks inside the
  // text start new lines. Meant for the window's own (main) thread: a worker hands its
  // lines over with core::MainThread::Call first. A call from another thread is not lost
  // and does not touch the widgets there: it is queued to the main thread's event loop.
  void AppendLine(const std::string& line);

  // Adds one engine log event as "#" + thread id + "." + level + ": " + message.
  void AppendLogEvent(uint64_t threadId, int level, const std::string& message);

  // The log as it stands, one entry per line (UTF-8). Main thread only.
  std::vector<std::string> Lines() const;

  // Asks for the file to save to; an empty result means the user cancelled. The default
  // shows the save-file dialog; tests put their own chooser here.
  std::function<std::string()> ChooseSaveFileName;

  // Called just before the window is shown and just before it is hidden (OK, Escape or
  // the close box), with the window. The program wires them to the settings file's
  // window placement of this window.
  std::function<void(QWidget*)> RestorePlacement;
  std::function<void(QWidget*)> SavePlacement;

  void setVisible(bool visible) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void LayoutButtons();
  void DeleteLog();
  void SaveLog();
  std::string ShowSaveDialog();

  QPlainTextEdit* MemoLog = nullptr;
  QWidget* PanelBottom = nullptr;
  QPushButton* ButtonOK = nullptr;
  QPushButton* ButtonDelete = nullptr;
  QPushButton* ButtonSave = nullptr;

  // The text area cannot tell "no lines" from "one empty line", so the window counts.
  bool hasLines_ = false;
  // Guards against a placement hook that shows or hides the window itself.
  bool inPlacementHook_ = false;
};

}  // namespace logwindow
