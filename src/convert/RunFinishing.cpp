#include "convert/RunFinishing.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

namespace convert {

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

SoundPlayer::SoundPlayer() : Beep([] { QApplication::beep(); }) {}

SoundPlayer::~SoundPlayer() = default;

SoundPlayer::Outcome SoundPlayer::Play(const std::string& file) {
  const QFileInfo info(q(file));
  if (!info.isFile() || QMediaDevices::audioOutputs().isEmpty()) {
    if (Beep) Beep();
    return Outcome::Beeped;
  }
  effect_ = std::make_unique<QSoundEffect>();
  // A file that turns out unreadable beeps once its loading has failed.
  QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(),
                   [this, effect = effect_.get()] {
                     if (effect->status() == QSoundEffect::Error && Beep) Beep();
                   });
  effect_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
  effect_->play();
  return Outcome::Played;
}

QPoint CentredOver(const QRect& mainWindow, const QSize& dialog) {
  return QPoint(mainWindow.left() + (mainWindow.width() - dialog.width()) / 2,
                mainWindow.top() + (mainWindow.height() - dialog.height()) / 2);
}

TFormShutdown::TFormShutdown(const std::string& appTitle, QWidget* parent, int tickMs)
    : QDialog(parent), appTitle_(appTitle) {
  setObjectName("FormShutdown");
  setWindowTitle(q("关机"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(320, 170);
  auto* warning = new QLabel(q("警告！"), this);
  warning->setObjectName("LabelWarning");
  warning->setGeometry(16, 12, 288, 24);
  QFont bold = warning->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 2);
  warning->setFont(bold);
  labelDescription_ = new QLabel(q("如果现在不按取消，\r\n%s\r\n将关闭 Windows 。"), this);
  labelDescription_->setObjectName("LabelShutdownDescription");
  labelDescription_->setGeometry(16, 40, 288, 60);
  labelDescription_->setWordWrap(true);
  labelTimeOut_ = new QLabel(this);
  labelTimeOut_->setObjectName("LabelTimeOut");
  labelTimeOut_->setGeometry(16, 104, 180, 24);
  buttonCancel_ = new QPushButton(q("取消"), this);
  buttonCancel_->setObjectName("ButtonCancel");
  buttonCancel_->setGeometry(220, 130, 84, 28);
  buttonCancel_->setDefault(true);
  connect(buttonCancel_, &QPushButton::clicked, this, &QDialog::reject);

  timer_ = new QTimer(this);
  timer_->setObjectName("TimerShutdown");
  timer_->setInterval(tickMs);
  connect(timer_, &QTimer::timeout, this, &TFormShutdown::Tick);
  counter_ = 30;
  labelTimeOut_->setText(QString("Time left: %1").arg(counter_));
  timer_->start();
}

void TFormShutdown::showEvent(QShowEvent* e) {
  QString text = labelDescription_->text();
  text.replace("\r\n", "\n");
  labelDescription_->setText(text.replace("%s", q(appTitle_)));
  QDialog::showEvent(e);
}

void TFormShutdown::Tick() {
  --counter_;
  if (counter_ < 0) {
    timer_->stop();
    accept();
    return;
  }
  labelTimeOut_->setText(QString("Time left: %1").arg(counter_));
}

}  // namespace convert
