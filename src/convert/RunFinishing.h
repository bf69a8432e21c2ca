#pragma once
// What the window does when a conversion run ends: the finishing sound and the countdown
// before the computer is powered off.

#include <QDialog>
class QSoundEffect;
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QTimer;

namespace convert {

// Plays a WAV file without waiting for it. A missing file, a file that cannot be loaded
// or a system without an audio output gives the system's beep instead.
class SoundPlayer {
 public:
  enum class Outcome { Played, Beeped };
  SoundPlayer();
  ~SoundPlayer();
  Outcome Play(const std::string& file);
  // The beep; tests replace it.
  std::function<void()> Beep;

 private:
  std::unique_ptr<QSoundEffect> effect_;
};

// The countdown dialog: 30, 29, ... 0 once a second, then it closes with Accepted (the
// computer is then powered off); the cancel button or closing it gives Rejected.
class TFormShutdown : public QDialog {
  Q_OBJECT
 public:
  // `appTitle` goes into the description; `tickMs` is the countdown's step (1000 ms).
  explicit TFormShutdown(const std::string& appTitle, QWidget* parent = nullptr, int tickMs = 1000);
  int Counter() const { return counter_; }
  QLabel* TimeOutLabel() const { return labelTimeOut_; }
  QPushButton* CancelButton() const { return buttonCancel_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void Tick();

  std::string appTitle_;
  int counter_ = 30;
  QLabel* labelDescription_ = nullptr;
  QLabel* labelTimeOut_ = nullptr;
  QPushButton* buttonCancel_ = nullptr;
  QTimer* timer_ = nullptr;
};

// The dialog's place over the main window: centred, as whole pixels.
QPoint CentredOver(const QRect& mainWindow, const QSize& dialog);

}  // namespace convert
