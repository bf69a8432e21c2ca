#include "download/DownloadPages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include "appcore/DesktopShell.h"
#include "appcore/FileNames.h"
#include "appcore/FolderDialog.h"
#include "core/Messages.h"
#include "download/QualityDialog.h"

namespace download {
namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }
QString q(const char* text) { return QString::fromUtf8(text); }

constexpr int kColumnWidths[] = {380, 250, 80, 70, 70, 600, 200};
const char* const kColumnCaptions[] = {"名称", "状态", "大小", "速度", "进展", "网址", ""};

std::string withTitle(const char* pattern, const std::string& title) {
  std::string text = pattern;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, title);
  return text;
}

}  // namespace

// ---------------------------------------------------------------- the list model

DownloadListModel::DownloadListModel(const DownloadRun& run, QObject* parent)
    : QAbstractTableModel(parent), run_(run) {}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(run_.Rows().size());
}

int DownloadListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 7;
}

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() ||
      index.row() >= static_cast<int>(run_.Rows().size()))
    return {};
  const DownloadRow& r = run_.Rows()[static_cast<size_t>(index.row())];
  const std::string* cells[] = {&r.Caption, &r.Status, &r.Size, &r.Speed,
                                &r.Progress, &r.Url,  &r.Note};
  return index.column() < 7 ? q(*cells[index.column()]) : QVariant();
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation,
                                       int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 7)
    return {};
  return q(kColumnCaptions[section]);
}

void DownloadListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void DownloadListModel::RowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, 6));
}

// ---------------------------------------------------------------- the pages

DownloadPages::DownloadPages(QWidget* step5Page, QWidget* step6Page, QWidget* step7Page,
                             app::AppSettings& settings, DownloadRunOptions options)
    : QObject(step5Page),
      settings_(settings),
      addresses_(options.ServiceDomain),
      run_(options) {
  quality_.Load(settings_);
  addresses_.Folder = settings_.OutputURLDir;
  model_ = new DownloadListModel(run_, this);
  BuildStep5(step5Page);
  BuildStep6(step6Page);
  BuildStep7(step7Page);

  run_.OnRowChanged = [this](int row) {
    if (row < 0) {
      model_->Reset();
    } else {
      model_->RowChanged(row);
    }
  };
  run_.OnLabelsChanged = [this] { RefreshLabels(); };
  run_.OnLog = [this](const std::string& line) {
    if (OnLog) OnLog("download: " + line);
  };
  run_.OnScriptError = [](const std::string& message) { core::Messages::Error(message); };
  run_.OnFinished = [this] { ShowSummary(); };

  QClipboard* clipboard = QApplication::clipboard();
  connect(clipboard, &QClipboard::dataChanged, this, &DownloadPages::ClipboardChanged);
  ClipboardChanged();
}

DownloadPages::~DownloadPages() {
  run_.OnRowChanged = nullptr;
  run_.OnLabelsChanged = nullptr;
  run_.OnFinished = nullptr;
  run_.OnLog = nullptr;
  run_.OnScriptError = nullptr;
}

void DownloadPages::SetAppTitle(const std::string& title) {
  appTitle_ = title;
  labelFinished1_->setText(q(withTitle("%s 已完成下载。", title)));
  labelFinished2_->setText(q(withTitle("要转换其它文件，点击“完成”。点击“退出”，退出%s。", title)));
}

QLabel* DownloadPages::Label(QWidget* page, const char* name, const char* text, int x, int y,
                             int w) {
  auto* label = new QLabel(q(text), page);
  if (name) label->setObjectName(name);
  label->setGeometry(x, y, w, 20);
  return label;
}

void DownloadPages::BuildStep5(QWidget* page) {
  listInput_ = new QListWidget(page);
  listInput_->setObjectName("ListViewInputURL");
  listInput_->setGeometry(8, 8, 430, 200);
  listInput_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  listInput_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listInput_->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(listInput_, &QListWidget::itemSelectionChanged, this, &DownloadPages::RefreshActions);
  connect(listInput_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const std::string address = item->text().toStdString();
    if (Open) {
      Open(address);
    } else {
      app::OpenWithShell(address);
    }
  });

  struct ActionEntry {
    QAction** action;
    const char* name;
    const char* caption;
    const char* button;
    bool inMenu;
    void (DownloadPages::*slot)();
    int y;
  };
  const ActionEntry entries[] = {
      {&actionPaste_, "ActionURLPaste", "粘贴", "ButtonURLPaste", true, &DownloadPages::Paste, 8},
      {&actionRemove_, "ActionURLRemove", "移除", "ButtonURLRemove", true,
       &DownloadPages::RemoveSelected, 40},
      {&actionEmpty_, "ActionURLEmpty", "清空", "ButtonURLEmpty", false, &DownloadPages::Empty, 72},
      {&actionSelect_, "ActionURLSelect", "选择", "ButtonURLSelect", false,
       &DownloadPages::SelectFolder, 232},
  };
  for (const ActionEntry& s : entries) {
    auto* action = new QAction(q(s.caption), page);
    action->setObjectName(s.name);
    connect(action, &QAction::triggered, this, s.slot);
    if (s.inMenu) listInput_->addAction(action);
    auto* button = new QPushButton(q(s.caption), page);
    button->setObjectName(s.button);
    button->setGeometry(448, s.y, 96, 26);
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [button, action] {
      button->setEnabled(action->isEnabled());
    });
    *s.action = action;
  }
  actionPaste_->setShortcut(QKeySequence::Paste);
  actionPaste_->setShortcutContext(Qt::WidgetWithChildrenShortcut);

  Label(page, nullptr, "输出目录：", 8, 236, 70);
  editOutput_ = new QLineEdit(page);
  editOutput_->setObjectName("EditURLOutput");
  editOutput_->setGeometry(80, 234, 358, 24);

  auto* group = new QGroupBox(q("质量"), page);
  group->setObjectName("GroupBoxQuality");
  group->setGeometry(8, 268, 536, 84);
  checkQuality_ = new QCheckBox(q("YouTube高质量"), group);
  checkQuality_->setObjectName("CheckBoxYouTubeQuality");
  checkQuality_->setGeometry(12, 22, 200, 22);
  connect(checkQuality_, &QCheckBox::clicked, this, [this] {
    buttonQualityConfig_->setEnabled(checkQuality_->isChecked());
    RefreshQualityLabel();
  });
  buttonQualityConfig_ = new QPushButton(q("配置"), group);
  buttonQualityConfig_->setObjectName("ButtonYouTubeQualityConfig");
  buttonQualityConfig_->setGeometry(430, 20, 96, 26);
  connect(buttonQualityConfig_, &QPushButton::clicked, this, &DownloadPages::ConfigureQuality);
  labelQuality_ = new QLabel(group);
  labelQuality_->setObjectName("LabelYouTubeQuality");
  labelQuality_->setGeometry(12, 52, 516, 22);
  RefreshActions();
}

void DownloadPages::BuildStep6(QWidget* page) {
  listDownload_ = new QTreeView(page);
  listDownload_->setObjectName("ListViewURLDownload");
  listDownload_->setGeometry(0, 0, 553, 170);
  listDownload_->setModel(model_);
  listDownload_->setRootIsDecorated(false);
  listDownload_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listDownload_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int c = 0; c < 7; ++c) listDownload_->setColumnWidth(c, kColumnWidths[c]);

  auto* group = new QGroupBox(q("状态"), page);
  group->setObjectName("GroupBoxURLStatus");
  group->setGeometry(8, 178, 536, 220);
  const struct {
    const char* caption;
    const char* name;
    QLabel** field;
  } fields[] = {
      {"当前文件：", "LabelURLCurrentFile", &labelCurrentFile_},
      {"状态：", "LabelURLStatus", &labelStatus_},
      {"速度：", "LabelSpeed", &labelSpeed_},
      {"已用时间：", "LabelURLElapsedTime", &labelElapsed_},
      {"剩余时间：", "LabelURLTimeLeft", &labelTimeLeft_},
      {"质量：", "LabelQuality", &labelQualityNow_},
  };
  int y = 22;
  for (const auto& f : fields) {
    Label(group, nullptr, f.caption, 12, y, 80);
    *f.field = Label(group, f.name, "...", 96, y, 430);
    y += 26;
  }
  Label(group, nullptr, "进展：", 12, y, 80);
  progressBar_ = new QProgressBar(group);
  progressBar_->setObjectName("ProgressBarDownload");
  progressBar_->setGeometry(96, y, 370, 18);
  progressBar_->setRange(0, 100);
  progressBar_->setTextVisible(false);
  labelProgress_ = Label(group, "LabelProgressBarDownload", "0%", 474, y, 50);
}

void DownloadPages::BuildStep7(QWidget* page) {
  // The main window may have placed the two texts already.
  labelFinished1_ = page->findChild<QLabel*>("LabelFinishedDownloading1");
  if (!labelFinished1_) labelFinished1_ = Label(page, "LabelFinishedDownloading1", "", 24, 24, 500);
  QFont bold = labelFinished1_->font();
  bold.setBold(true);
  labelFinished1_->setFont(bold);
  labelFinished2_ = page->findChild<QLabel*>("LabelFinishedDownloading2");
  if (!labelFinished2_) labelFinished2_ = Label(page, "LabelFinishedDownloading2", "", 24, 52, 500);
  Label(page, nullptr, "摘要", 24, 96, 200);
  Label(page, nullptr, "总文件：", 40, 124, 80);
  labelTotal_ = Label(page, "LabelURLTotalFiles", "0", 124, 124, 120);
  Label(page, nullptr, "成功：", 40, 150, 80);
  labelSucceeded_ = Label(page, "LabelURLSucedded", "0", 124, 150, 120);
  Label(page, nullptr, "失败：", 40, 176, 80);
  labelFailed_ = Label(page, "LabelURLFailed", "0", 124, 176, 120);
  labelOpenFolder_ = Label(page, "LabelURLOpenFolder", "", 40, 210, 200);
  labelOpenFolder_->setText(q("<a href=\"folder\">打开文件夹</a>"));
  connect(labelOpenFolder_, &QLabel::linkActivated, this, [this] {
    if (Open) {
      Open(run_.Folder());
    } else {
      app::OpenWithShell(run_.Folder());
    }
  });
  buttonConvert_ = new QPushButton(q("现在转换下载文件！"), page);
  buttonConvert_->setObjectName("ButtonConvertDownloaded");
  buttonConvert_->setGeometry(40, 250, 220, 32);
  connect(buttonConvert_, &QPushButton::clicked, this, &DownloadPages::ConvertDownloaded);
}

void DownloadPages::EnterStep5() {
  editOutput_->setText(q(settings_.OutputURLDir));
  quality_.Load(settings_);
  checkQuality_->setChecked(quality_.HighQuality);
  buttonQualityConfig_->setEnabled(quality_.HighQuality);
  RefreshQualityLabel();
  RefreshAddressList();
}

void DownloadPages::ReadDownloadSettings() {
  settings_.OutputURLDir = app::WithTrailingSeparator(editOutput_->text().toStdString());
  quality_.HighQuality = checkQuality_->isChecked();
  quality_.Store(settings_);
}

bool DownloadPages::DownloadFolderAvailable() {
  // An empty box is no folder, although it reads back as the root folder.
  if (editOutput_->text().trimmed().isEmpty()) return false;
  std::string folder = settings_.OutputURLDir;
  if (!PrepareDownloadFolder(folder)) return false;
  addresses_.Folder = folder;
  return true;
}

void DownloadPages::StartDownloadRun() {
  run_.StartDownloadRun(addresses_.Entries(), app::WithTrailingSeparator(settings_.OutputURLDir),
                        quality_);
}

void DownloadPages::CancelRun() { run_.Cancel(); }

void DownloadPages::ClearAddressList() {
  addresses_.Clear();
  RefreshAddressList();
}

void DownloadPages::Paste() {
  if (!actionPaste_->isEnabled()) return;
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return;
  const std::string text = data->text().toStdString();
  addresses_.Paste(text, [this](const std::string& message) {
    if (AskRefusal) return AskRefusal(message);
    QMessageBox box(QMessageBox::Information, q(core::Messages::Title()), q(message),
                    QMessageBox::Ok | QMessageBox::Cancel, listInput_->window());
    box.setObjectName("MessageRefusedAddress");
    return box.exec() == QMessageBox::Ok;
  });
  RefreshAddressList();
}

void DownloadPages::RemoveSelected() {
  std::vector<int> rows;
  for (const QModelIndex& index : listInput_->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  const int select = addresses_.Remove(rows);
  RefreshAddressList();
  if (select >= 0) {
    QListWidgetItem* item = listInput_->item(select);
    listInput_->setCurrentItem(item);
    item->setSelected(true);
    listInput_->scrollToItem(item);
  }
  listInput_->setFocus();
}

void DownloadPages::Empty() {
  addresses_.Clear();
  RefreshAddressList();
}

void DownloadPages::SelectFolder() {
  std::string folder = settings_.OutputURLDir;
  const bool chosen = ChooseFolder ? ChooseFolder(folder)
                                   : app::SelectFolder(listInput_->window(), folder,
                                                       "请选择一个文件夹");
  if (!chosen) return;
  folder = app::WithTrailingSeparator(folder);
  editOutput_->setText(q(folder));
  settings_.OutputURLDir = folder;
}

void DownloadPages::ConvertDownloaded() {
  if (run_.DownloadedFiles().empty()) {
    core::Messages::Information("没有文件下载！请重试。");
    return;
  }
  emit ConvertFiles(run_.DownloadedFiles());
}

void DownloadPages::RefreshAddressList() {
  listInput_->clear();
  for (const std::string& entry : addresses_.Entries()) listInput_->addItem(q(entry));
  RefreshActions();
}

void DownloadPages::RefreshActions() {
  actionPaste_->setEnabled(clipboardHasText_);
  actionRemove_->setEnabled(!listInput_->selectedItems().isEmpty());
  actionEmpty_->setEnabled(listInput_->count() > 0);
  actionSelect_->setEnabled(true);
}

void DownloadPages::RefreshQualityLabel() {
  labelQuality_->setText(q(quality_.PreferenceCaption(checkQuality_->isChecked())));
}

void DownloadPages::ClipboardChanged() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  clipboardHasText_ = data && data->hasText();
  RefreshActions();
}

void DownloadPages::ConfigureQuality() {
  TFormYouTubeHQ dialog(quality_, listInput_->window());
  dialog.move(listInput_->window()->geometry().center() - dialog.rect().center());
  if (dialog.exec() == QDialog::Accepted) RefreshQualityLabel();
  quality_.Store(settings_);
}

void DownloadPages::RefreshLabels() {
  const DownloadLabels& l = run_.Labels();
  labelCurrentFile_->setText(q(l.CurrentFile));
  labelStatus_->setText(q(l.Status));
  labelSpeed_->setText(q(l.Speed));
  labelElapsed_->setText(q(l.Elapsed));
  labelTimeLeft_->setText(q(l.TimeLeft));
  labelQualityNow_->setText(q(l.Quality));
  progressBar_->setValue(l.ProgressPosition);
  labelProgress_->setText(q(l.ProgressText));
}

void DownloadPages::ShowSummary() {
  ClearAddressList();
  RefreshLabels();
  labelTotal_->setText(QString::number(run_.TotalCount()));
  labelSucceeded_->setText(QString::number(run_.SucceededCount()));
  labelFailed_->setText(QString::number(run_.FailedCount()));
  emit ShowSummaryPage();
}

}  // namespace download
