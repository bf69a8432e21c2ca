#include "convert/ConversionPages.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeView>

#include "appcore/DesktopShell.h"
#include "appcore/PowerActions.h"
#include "engine/FFEncoder.h"

namespace convert {

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }

QLabel* MakeLabel(QWidget* page, const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, page);
  label->setObjectName(name);
  label->setGeometry(geometry);
  return label;
}
}  // namespace

// ---- The conversion list ----

ConversionListModel::ConversionListModel(const ConversionRun& run, QObject* parent)
    : QAbstractTableModel(parent), run_(run) {}

int ConversionListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(run_.Rows().size());
}

int ConversionListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kConversionColumns;
}

QVariant ConversionListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kConversionColumns)
    return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return q(run_.Rows()[index.row()][index.column()]);
  return {};
}

QVariant ConversionListModel::headerData(int section, Qt::Orientation orientation,
                                         int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
    return q(run_.ColumnCaption(section));
  return {};
}

void ConversionListModel::Reset() {
  beginResetModel();
  endResetModel();
  emit headerDataChanged(Qt::Horizontal, 0, kConversionColumns - 1);
}

void ConversionListModel::RowChanged(int row) {
  if (row < 0 || row >= rowCount()) return;
  emit dataChanged(index(row, 0), index(row, kConversionColumns - 1));
}

// ---- The end of a run in the window ----

class ConversionPages::WindowActions : public EndOfRunActions {
 public:
  explicit WindowActions(ConversionPages& pages) : pages_(pages) {}
  void PlaySound(const std::string& file) override { pages_.sounds_.Play(file); }
  bool CountDownToShutdown() override { return pages_.RunCountdown(); }
  void PowerOff() override { app::PowerAction(1); }
  void ShowSummary(const RunSummary& summary) override { pages_.ShowSummary(summary); }

 private:
  ConversionPages& pages_;
};

ConversionPages::ConversionPages(QWidget* step3Page, QWidget* step4Page,
                                 app::AppSettings& settings, engine::TFFEncoder& encoder)
    : QObject(step3Page),
      settings_(settings),
      encoder_(encoder),
      run_(encoder),
      actions_(std::make_unique<WindowActions>(*this)),
      step3_(step3Page) {
  run_.SetEndOfRunActions(actions_.get());
  BuildStep3(step3Page);
  BuildStep4(step4Page);
  run_.OnListReset = [this] {
    model_->Reset();
    labelCurrentFileTitle_->setText(q(run_.CurrentFileTitle()));
  };
  run_.OnRowChanged = [this](int row) { model_->RowChanged(row); };
  run_.OnLabelsChanged = [this] { RefreshLabels(); };
  run_.OnLog = [this](const std::string& line) {
    if (OnLog) OnLog(line);
  };
}

ConversionPages::~ConversionPages() {
  // The controller detaches from the encoder before the widgets it updates go.
  run_.Detach();
}

void ConversionPages::BuildStep3(QWidget* page) {
  model_ = new ConversionListModel(run_, this);
  listView_ = new QTreeView(page);
  listView_->setObjectName("ListViewConverting");
  listView_->setGeometry(0, 0, 553, 196);
  listView_->setRootIsDecorated(false);
  listView_->setItemsExpandable(false);
  listView_->setUniformRowHeights(true);
  listView_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView_->setModel(model_);
  const int widths[kConversionColumns] = {150, 90, 90, 70, 150};
  for (int c = 0; c < kConversionColumns; ++c) listView_->setColumnWidth(c, widths[c]);
  listView_->header()->setStretchLastSection(true);

  labelCurrentFileTitle_ =
      MakeLabel(page, "LabelCurrentFileTitle", q("当前文件:"), QRect(8, 206, 80, 20));
  labelCurrentFile_ = MakeLabel(page, "LabelCurrentFile", "...", QRect(92, 206, 453, 20));
  labelCurrentFile_->setTextFormat(Qt::PlainText);
  struct Timed {
    const char* titleName;
    const char* title;
    const char* name;
    QLabel** label;
    int top;
  };
  const Timed times[] = {
      {"LabelEstimatedTitle", "估计总时间：", "LabelEstimated", &labelEstimated_, 230},
      {"LabelElapsedTitle", "已用时间：", "LabelElapsed", &labelElapsed_, 252},
      {"LabelTimeLeftTitle", "剩余时间：", "LabelTimeLeft", &labelTimeLeft_, 274},
  };
  for (const Timed& t : times) {
    MakeLabel(page, t.titleName, q(t.title), QRect(8, t.top, 100, 20));
    *t.label = MakeLabel(page, t.name, "0:00:00", QRect(112, t.top, 120, 20));
  }
  MakeLabel(page, "LabelProgressTitle", q("总体进展："), QRect(8, 300, 100, 20));
  progressBar_ = new QProgressBar(page);
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setGeometry(112, 300, 380, 18);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  labelProgress_ = MakeLabel(page, "LabelProgress", "0%", QRect(500, 300, 48, 20));

  auto* group = new QGroupBox(q("转换完成选项"), page);
  group->setObjectName("GroupBoxFinish");
  group->setGeometry(8, 328, 380, 86);
  checkSound_ = new QCheckBox(q("转换完成后播放声音"), group);
  checkSound_->setObjectName("CheckBoxPlayASound");
  checkSound_->setGeometry(12, 24, 350, 22);
  checkShutdown_ = new QCheckBox(q("所有任务完成后关闭计算机"), group);
  checkShutdown_->setObjectName("CheckBoxShutdown");
  checkShutdown_->setGeometry(12, 52, 350, 22);
  // A box changed during the run counts for its end.
  connect(checkSound_, &QCheckBox::clicked, this, [this](bool on) {
    settings_.PlayASoundWhenFinished = on;
    run_.PlaySoundWhenFinished = on;
  });
  connect(checkShutdown_, &QCheckBox::clicked, this, [this](bool on) {
    settings_.ShutDownWhenFinished = on;
    run_.ShutDownWhenFinished = on;
  });

  checkPreview_ = new QCheckBox(q("预览"), page);
  checkPreview_->setObjectName("CheckBoxPreview");
  checkPreview_->setGeometry(404, 352, 140, 22);
  checkPreview_->setChecked(encoder_.Preview());
  connect(checkPreview_, &QCheckBox::clicked, this, [this](bool on) { encoder_.SetPreview(on); });
}

void ConversionPages::BuildStep4(QWidget* page) {
  struct Count {
    const char* titleName;
    const char* title;
    const char* name;
    QLabel** label;
    int top;
  };
  const Count counts[] = {
      {"LabelFinishTotalFilesTitle", "总文件：", "LabelFinishTotalFiles", &labelTotal_, 96},
      {"LabelFinishSuccessedTitle", "成功：", "LabelFinishSuccessed", &labelSucceeded_, 120},
      {"LabelFinishFailedTitle", "失败：", "LabelFinishFailed", &labelFailed_, 144},
  };
  for (const Count& c : counts) {
    MakeLabel(page, c.titleName, q(c.title), QRect(24, c.top, 80, 20));
    *c.label = MakeLabel(page, c.name, "0", QRect(108, c.top, 120, 20));
  }
  memoErrorLog_ = new QPlainTextEdit(page);
  memoErrorLog_->setObjectName("MemoErrorLog");
  memoErrorLog_->setGeometry(24, 172, 505, 170);
  memoErrorLog_->setReadOnly(true);
  memoErrorLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoErrorLog_->hide();
  labelOpenFolder_ = MakeLabel(page, "LabelOpenFolder", q("打开文件夹"), QRect(24, 352, 120, 22));
  labelOpenFolder_->setCursor(Qt::PointingHandCursor);
  labelOpenFolder_->setStyleSheet("color: rgb(0,0,255); text-decoration: underline;");
  labelOpenFolder_->installEventFilter(this);
}

bool ConversionPages::eventFilter(QObject* watched, QEvent* event) {
  if (watched == labelOpenFolder_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    app::OpenWithShell(settings_.OutputFileDir);
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void ConversionPages::EnterStep3() {
  checkSound_->setChecked(settings_.PlayASoundWhenFinished);
  checkShutdown_->setChecked(settings_.ShutDownWhenFinished);
}

bool ConversionPages::StartRun(const std::vector<std::string>& files, bool merge) {
  if (run_.IsRunning()) return false;
  run_.PlaySoundWhenFinished = settings_.PlayASoundWhenFinished;
  run_.ShutDownWhenFinished = settings_.ShutDownWhenFinished;
  if (!run_.Build(settings_, merge, files)) return false;
  run_.Start();
  return true;
}

void ConversionPages::CancelRun() { run_.Cancel(true); }

void ConversionPages::RefreshLabels() {
  labelCurrentFile_->setText(q(run_.CurrentFile()));
  labelEstimated_->setText(q(run_.EstimatedText()));
  labelElapsed_->setText(q(run_.ElapsedText()));
  labelTimeLeft_->setText(q(run_.TimeLeftText()));
  progressBar_->setValue(run_.ProgressPosition());
  labelProgress_->setText(q(run_.ProgressText()));
}

bool ConversionPages::RunCountdown() {
  if (CountDown) return CountDown();
  QWidget* main = step3_->window();
  TFormShutdown dialog(appTitle_, main, CountdownTickMs);
  dialog.move(CentredOver(main->geometry(), dialog.size()));
  return dialog.exec() == QDialog::Accepted;
}

void ConversionPages::ShowSummary(const RunSummary& summary) {
  emit ShowSummaryPage();
  if (QWidget* page = labelTotal_->parentWidget()) {
    if (auto* title = page->findChild<QLabel*>("LabelFinishTitle1"))
      title->setText(title->text().replace("%s", q(appTitle_)));
  }
  QStringList lines;
  for (const std::string& line : summary.Errors) lines << q(line);
  memoErrorLog_->setPlainText(lines.join('\n'));
  memoErrorLog_->setVisible(!summary.Errors.empty());
  labelTotal_->setText(QString::number(summary.FileCount));
  labelSucceeded_->setText(QString::number(summary.Succeeded));
  labelFailed_->setText(QString::number(summary.FileCount - summary.Succeeded));
  emit SummaryShown();
}

}  // namespace convert
