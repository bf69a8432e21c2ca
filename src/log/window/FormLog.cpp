#include "log/window/FormLog.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "core/Messages.h"
#include "log/window/ButtonRowLayout.h"
#include "log/window/LogEventText.h"
#include "log/window/LogFile.h"

namespace logwindow {
namespace {

constexpr int kInitialClientWidth = 455;
constexpr int kInitialClientHeight = 182;
constexpr int kMinimumWidth = 265;
constexpr int kMinimumHeight = 125;
constexpr int kPanelHeight = 40;
constexpr int kButtonGap = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QPushButton* MakeButton(const char* name, const char* text, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  // Never narrower than the usual button, never too small for its text in a large font.
  const QSize hint = button->sizeHint();
  button->resize(std::max(kButtonWidth, hint.width()), std::max(kButtonHeight, hint.height()));
  return button;
}

}  // namespace

TFormLog::TFormLog(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FormLog"));
  setWindowTitle(QString::fromUtf8("日志"));
  setModal(false);
  // The log window stays alive all run long; it must never keep the program running once
  // the main window has closed.
  setAttribute(Qt::WA_QuitOnClose, false);

  MemoLog = new QPlainTextEdit(this);
  MemoLog->setObjectName(QStringLiteral("MemoLog"));
  MemoLog->setReadOnly(true);
  MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setUndoRedoEnabled(false);  // a long log must not pile up undo history

  PanelBottom = new QWidget(this);
  PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
  PanelBottom->setFixedHeight(kPanelHeight);
  PanelBottom->installEventFilter(this);

  ButtonOK = MakeButton("ButtonOK", "确定", PanelBottom);
  ButtonDelete = MakeButton("ButtonDelete", "删除日志", PanelBottom);
  ButtonSave = MakeButton("ButtonSave", "保存日志", PanelBottom);
  ButtonOK->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(MemoLog, 1);
  layout->addWidget(PanelBottom, 0);

  setMinimumSize(kMinimumWidth, kMinimumHeight);
  resize(kInitialClientWidth, kInitialClientHeight);

  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonDelete, &QPushButton::clicked, this, [this] { DeleteLog(); });
  connect(ButtonSave, &QPushButton::clicked, this, [this] { SaveLog(); });

  ChooseSaveFileName = [this] { return ShowSaveDialog(); };
  LayoutButtons();
}

TFormLog::~TFormLog() = default;

void TFormLog::AppendLine(const std::string& line) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, line] { AppendLine(line); }, Qt::QueuedConnection);
    return;
  }
  QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  // Every kind of line break starts a new line, so that a saved file holds only CR LF.
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
  text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));

  // Follow the newest line only when the user has not scrolled away from the end.
  QScrollBar* bar = MemoLog->verticalScrollBar();
  const bool follow = bar->value() == bar->maximum();

  QTextCursor cursor(MemoLog->document());
  cursor.movePosition(QTextCursor::End);
  if (hasLines_) cursor.insertBlock();
  cursor.insertText(text);
  hasLines_ = true;

  if (follow) bar->setValue(bar->maximum());
}

void TFormLog::AppendLogEvent(uint64_t threadId, int level, const std::string& message) {
  AppendLine(LogEventText(threadId, level, message));
}

std::vector<std::string> TFormLog::Lines() const {
  std::vector<std::string> lines;
  if (!hasLines_) return lines;
  for (QTextBlock block = MemoLog->document()->begin(); block.isValid(); block = block.next()) {
    lines.push_back(block.text().toStdString());
  }
  return lines;
}

void TFormLog::setVisible(bool visible) {
  const bool changes = visible != isVisible();
  if (changes && !inPlacementHook_) {
    const auto& hook = visible ? RestorePlacement : SavePlacement;
    if (hook) {
      inPlacementHook_ = true;
      hook(this);
      inPlacementHook_ = false;
    }
  }
  QDialog::setVisible(visible);
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PanelBottom && event->type() == QEvent::Resize) {
    LayoutButtons();
  }
  return QDialog::eventFilter(watched, event);
}

void TFormLog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  LayoutButtons();
}

void TFormLog::LayoutButtons() {
  const std::vector<QPushButton*> buttons = {ButtonOK, ButtonDelete, ButtonSave};
  std::vector<int> widths;
  for (QPushButton* b : buttons) widths.push_back(b->width());
  const std::vector<int> lefts = CentredButtonLefts(PanelBottom->width(), widths, kButtonGap);
  for (size_t i = 0; i < buttons.size(); ++i) {
    const int top = std::max(0, (PanelBottom->height() - buttons[i]->height()) / 2);
    buttons[i]->move(lefts[i], top);
  }
}

void TFormLog::DeleteLog() {
  if (!core::Messages::Confirm("Delete log?", "Really delete log file?")) return;
  MemoLog->clear();
  hasLines_ = false;
  // Nothing enables it again: once deleted, the log of this run is not offered for saving.
  ButtonSave->setEnabled(false);
}

void TFormLog::SaveLog() {
  const std::string path = ChooseSaveFileName ? ChooseSaveFileName() : std::string();
  if (path.empty()) return;
  const std::string reason = WriteLogFile(path, Lines());
  if (!reason.empty()) {
    core::Messages::Error("Unable to save the log to \"" + path + "\": " + reason);
  }
}

std::string TFormLog::ShowSaveDialog() {
  // A documents folder that does not exist would be offered as the file name instead.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  QFileDialog dialog(this, QString(), folder,
                     QStringLiteral("Log-Files (*.log);;Text-Files (*.txt);;All Files (*.*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("log"));
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::string() : files.first().toStdString();
}

}  // namespace logwindow
