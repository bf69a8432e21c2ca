#include "app/mainwindow/MainWindow.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "appcore/AppError.h"
#include "appcore/BusyCursor.h"
#include "appcore/DesktopShell.h"
#include "appcore/FileNames.h"
#include "appcore/FolderDialog.h"
#include "appcore/MediaExtensions.h"
#include "appcore/Palette.h"
#include "appcore/Settings.h"
#include "appcore/WindowPlacementQt.h"
#include "app/mainwindow/AboutDialog.h"
#include "app/mainwindow/ImageButton.h"
#include "convert/ConversionPages.h"
#include "convert/FileGrid.h"
#include "convert/FormFailedAddFile.h"
#include "download/DownloadPages.h"
#include "convert/FormatPicker.h"
#include "convert/FormatSelection.h"
#include "convert/OutputFolder.h"
#include "convert/WizardFlow.h"
#include "convert/TaskProber.h"
#include "core/Messages.h"
#include "engine/FFEncoder.h"
#include "script/ComponentScriptlet.h"
#include "script/CustomScript.h"
#include "script/HostScriptlet.h"

namespace app {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QColor rgb(uint32_t c) { return QColor(QRgb(c)); }

constexpr QSize kPageControlSize(553, 426);
const char* const kDesignTimePage = "TabSheetStep1";

const WizardPage kPageOrder[] = {WizardPage::Mode,  WizardPage::Step1, WizardPage::Step2,
                                 WizardPage::Step3, WizardPage::Step4, WizardPage::Step5,
                                 WizardPage::Step6, WizardPage::Step7};

// Loads one skin image; a file that cannot be opened or decoded is a file-open error.
QPixmap LoadSkinImage(const std::string& folder, const char* name) {
  const std::string path = folder + name;
  QPixmap pixmap;
  if (pixmap.load(q(path))) return pixmap;
  std::ifstream probe(path, std::ios::binary);
  const std::string reason = probe ? "The file is not a valid image." : std::strerror(errno);
  throw AppError(FileOpenErrorText(path, reason));
}

}  // namespace

// The pages as the wizard flow reaches them.
class TFormMain::PagesHost : public convert::WizardHost {
 public:
  explicit PagesHost(TFormMain& w) : w_(w) {}
  void ShowPage(WizardPage page, const convert::PageCaptions& captions) override {
    w_.ShowWizardPage(page, captions);
  }
  int TaskCount() override { return w_.TaskCount(); }
  void ClearTasks() override { w_.ClearTasks(); }
  void ShowSelection() override { w_.formatPicker_->ShowSelection(); }
  void ReadSelection() override {
    // An empty box is no folder, although it reads back as the root folder.
    noFolder_ = w_.formatPicker_->OutputDirEdit()->text().trimmed().isEmpty();
    w_.formatPicker_->ReadSelection();
  }
  bool OutputFolderAvailable() override {
    return !noFolder_ && convert::PrepareOutputFolder(w_.settings_.OutputFileDir);
  }
  void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
  void PrepareRunPage() override { w_.PrepareRunPage(); }
  void StartRun() override {
    QMetaObject::invokeMethod(&w_, &TFormMain::StartRun, Qt::QueuedConnection);
  }
  void CancelRun() override { w_.CancelRun(); }
  void ClearConversionList() override { w_.ClearConversionList(); }
  void CloseWindow() override { w_.CloseFromExit(); }
  bool DownloadChosen() override { return w_.radioDownload_->isChecked(); }
  bool ConvertChosen() override { return w_.radioConvert_->isChecked(); }
  void ShowDownloadSettings() override {
    if (w_.downloadPages_) w_.downloadPages_->EnterStep5();
  }
  void ReadDownloadSettings() override {
    if (w_.downloadPages_) w_.downloadPages_->ReadDownloadSettings();
  }
  int AddressCount() override { return w_.downloadPages_ ? w_.downloadPages_->AddressCount() : 0; }
  bool DownloadFolderAvailable() override {
    return w_.downloadPages_ && w_.downloadPages_->DownloadFolderAvailable();
  }
  void ClearAddressList() override {
    if (w_.downloadPages_) w_.downloadPages_->ClearAddressList();
  }
  void StartDownloadRun() override {
    if (w_.downloadPages_) w_.downloadPages_->StartDownloadRun();
  }
  void AbortDownloadRun() override {
    if (w_.downloadPages_) w_.downloadPages_->CancelRun();
  }

 private:
  TFormMain& w_;
  bool noFolder_ = false;
};

std::vector<std::string>& TFormMain::ReducedEditionTitles() {
  static std::vector<std::string> titles;
  return titles;
}

TFormMain::TFormMain(MainWindowEnvironment env, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      env_(std::move(env)),
      pagesHost_(std::make_unique<PagesHost>(*this)),
      wizard_(std::make_unique<convert::WizardFlow>(*pagesHost_)) {
  setObjectName("FormMain");
  layout_ = DesignTimeLayout();
  CreateControls();
  RunStartup();
}

TFormMain::~TFormMain() {
  // The run's pages stop the run and leave the encoder before it goes.
  delete conversionPages_;
  conversionPages_ = nullptr;
  // The prober and the grid use the task list, which goes before the child widgets do.
  delete prober_;
  prober_ = nullptr;
  delete fileGrid_;
  fileGrid_ = nullptr;
  if (addingCursor_) EndBusy();
}

std::string TFormMain::SettingsFilePath() const { return settingsFolder_ + SettingsFileName(); }

// ---------------------------------------------------------------------------------------
// Controls

QAction* TFormMain::AddAction(const char* name, const QString& text, const QKeySequence& key) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  if (!key.isEmpty()) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  addAction(action);
  return action;
}

void TFormMain::CreateControls() {
  setFixedSize(772, 560);
  QFont base = font();
  base.setPixelSize(12);
  setFont(base);

  imageTopLogo_ = new QLabel(this);
  imageTopLogo_->setObjectName("ImageTopLogo");
  imageTopLogo_->move(0, 0);
  imageTopLogo_->installEventFilter(this);
  imageLeftLogo_ = new QLabel(this);
  imageLeftLogo_->setObjectName("ImageLeftLogo");
  imageLeftLogo_->move(12, 74);
  imageLeftLogo_->installEventFilter(this);

  labelTitle_ = new QLabel(this);
  labelTitle_->setObjectName("LabelTitle");
  labelTitle_->resize(730, 24);
  labelVersion_ = new QLabel(this);
  labelVersion_->setObjectName("LabelVersion");
  labelVersion_->setGeometry(20, 470, 170, 16);
  labelMoreTools_ = new QLabel(q("更多免费工具"), this);
  labelMoreTools_->setObjectName("LabelMoreTools");
  labelMoreTools_->setGeometry(20, 485, 170, 16);
  labelMoreTools_->setCursor(Qt::PointingHandCursor);
  labelMoreTools_->installEventFilter(this);

  auto makeButton = [this](const char* name) {
    auto* b = new ImageButton(this);
    b->setObjectName(name);
    return b;
  };
  buttonMin_ = makeButton("ButtonMin");
  buttonClose_ = makeButton("ButtonClose");
  buttonHelp_ = makeButton("ButtonHelp");
  buttonLog_ = makeButton("ButtonLog");
  buttonBack_ = makeButton("ButtonBack");
  buttonNext_ = makeButton("ButtonNext");
  buttonExit_ = makeButton("ButtonExit");
  buttonHelp_->setText(q("帮助"));
  buttonLog_->setText(q("日志"));
  connect(buttonMin_, &QAbstractButton::clicked, this, [this] { showMinimized(); });
  connect(buttonClose_, &QAbstractButton::clicked, this, &TFormMain::CloseWithoutAsking);

  actionBack_ = AddAction("ActionBack", q("返回"));
  actionNext_ = AddAction("ActionNext", q("下一步"));
  actionExit_ = AddAction("ActionExit", q("退出"), QKeySequence(Qt::ALT | Qt::Key_F4));
  auto* actionLog = AddAction("ActionLog", q("日志"));
  auto* actionHelp = AddAction("ActionHelp", q("帮助"));
  connect(actionBack_, &QAction::triggered, this, &TFormMain::ActionBack);
  connect(actionNext_, &QAction::triggered, this, &TFormMain::ActionNext);
  connect(actionExit_, &QAction::triggered, this, &TFormMain::ActionExit);
  connect(actionLog, &QAction::triggered, this, &TFormMain::ActionLog);
  connect(actionHelp, &QAction::triggered, this, &TFormMain::ActionHelp);
  connect(buttonBack_, &QAbstractButton::clicked, actionBack_, &QAction::trigger);
  connect(buttonNext_, &QAbstractButton::clicked, actionNext_, &QAction::trigger);
  connect(buttonExit_, &QAbstractButton::clicked, actionExit_, &QAction::trigger);
  connect(buttonLog_, &QAbstractButton::clicked, actionLog, &QAction::trigger);
  connect(buttonHelp_, &QAbstractButton::clicked, actionHelp, &QAction::trigger);
  // The image buttons follow their actions' state.
  auto follow = [](QAction* action, ImageButton* button) {
    auto sync = [action, button] {
      button->setEnabled(action->isEnabled());
      button->setText(action->text());
    };
    connect(action, &QAction::changed, button, sync);
    sync();
  };
  follow(actionBack_, buttonBack_);
  follow(actionNext_, buttonNext_);
  follow(actionExit_, buttonExit_);

  // Help menu.
  helpMenu_ = new QMenu(this);
  helpMenu_->setObjectName("PopupMenuHelp");
  auto linkAction = [this](const char* name, const char* text,
                           const std::string BrandingConfig::*link, const QKeySequence& key = {}) {
    QAction* a = AddAction(name, q(text), key);
    connect(a, &QAction::triggered, this, [this, link] { OpenLink(branding_.*link); });
    helpMenu_->addAction(a);
  };
  linkAction("ActionHelpContent", "帮助内容", &BrandingConfig::HelpContectLink,
             QKeySequence(Qt::Key_F1));
  linkAction("ActionHowTosTutorialVideos", "使用教程视频",
             &BrandingConfig::HelpHowTosTutorialVideosLink);
  helpMenu_->addSeparator();
  linkAction("ActionHomePage", "主页", &BrandingConfig::HelpHomePageLink);
  linkAction("ActionMoreFreeTools", "更多免费工具", &BrandingConfig::HelpMoreFreeToolsLink);
  helpMenu_->addSeparator();
  linkAction("ActionCheckforUpdates", "检查更新", &BrandingConfig::HelpCheckForUpdatesLink);
  linkAction("ActionContactTechnicalSupport", "联系技术支持", &BrandingConfig::HelpSupportLink);
  helpMenu_->addSeparator();
  QAction* about = AddAction("ActionAbout", q("关于"));
  connect(about, &QAction::triggered, this, &TFormMain::ActionAbout);
  helpMenu_->addAction(about);

  // Wizard pages.
  pageControl_ = new QTabWidget(this);
  pageControl_->setObjectName("PageControlMain");
  pageControl_->resize(kPageControlSize);
  pageControl_->setDocumentMode(true);
  for (WizardPage p : kPageOrder) {
    auto* page = new QWidget;
    page->setObjectName(PageObjectName(p));
    page->setAutoFillBackground(true);
    pageControl_->addTab(page, q(PageTabCaption(p)));
  }
  pageControl_->setCurrentWidget(pageControl_->findChild<QWidget*>(kDesignTimePage));
  CreateModePage(pageControl_->findChild<QWidget*>("TabSheetMode"));
  CreateStep1Page(pageControl_->findChild<QWidget*>("TabSheetStep1"));
  formatPicker_ =
      new convert::FormatPicker(pageControl_->findChild<QWidget*>("TabSheetStep2"), settings_);
  connect(formatPicker_, &convert::FormatPicker::SelectDirClicked, this,
          &TFormMain::ChooseOutputFolder);
  CreateFinishLabels();
  CreateConversionPages();

  setStyleSheet(
      QString(
          "QTabWidget#PageControlMain > QWidget { background: %1; }"
          "QWidget#TabSheetMode, QWidget#TabSheetStep1, QWidget#TabSheetStep2, "
          "QWidget#TabSheetStep3,"
          "QWidget#TabSheetStep4, QWidget#TabSheetStep5, QWidget#TabSheetStep6, "
          "QWidget#TabSheetStep7"
          " { background: %1; }"
          "QLabel#LabelTitle { color: %2; }"
          "QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 4px;"
          " padding: 4px 10px; }"
          "QPushButton:hover { border-color: %4; color: %4; }"
          "QPushButton:pressed { background: %5; }"
          "QPushButton:disabled { color: %6; border-color: %3; }"
          "QTableWidget { background: %1; border: 1px solid %3; gridline-color: rgb(204,218,241);"
          " selection-background-color: rgb(10,36,106); }")
          .arg(rgb(palette::kPanel).name(), rgb(palette::kText).name(),
               rgb(palette::kBorder).name(), rgb(palette::kAccent).name(),
               rgb(palette::kWindow).name(), rgb(palette::kDisabledText).name()));
  ApplySkinLayout(layout_);
}

void TFormMain::CreateModePage(QWidget* page) {
  auto makeImage = [this, page](const char* name, int left) {
    auto* label = new QLabel(page);
    label->setObjectName(name);
    label->setGeometry(left, 40, 240, 160);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(this);
    return label;
  };
  imageDownloadVideo_ = makeImage("ImageDownloadVideo", 24);
  imageConvertVideo_ = makeImage("ImageConvertVideo", 289);
  radioDownload_ = new QRadioButton(q("从YouTube下载视频"), page);
  radioDownload_->setObjectName("RadioButtonDownloadVideo");
  radioDownload_->setGeometry(34, 215, 230, 24);
  radioDownload_->setChecked(true);
  radioConvert_ = new QRadioButton(q("转换音频/视频文件"), page);
  radioConvert_->setObjectName("RadioButtonConvertVideo");
  radioConvert_->setGeometry(299, 215, 230, 24);
}

void TFormMain::CreateStep1Page(QWidget* page) {
  fileGrid_ = new convert::FileGrid(tasks_, page);
  fileGrid_->setGeometry(0, 0, kPageControlSize.width(), 384);
  fileGrid_->setContextMenuPolicy(Qt::CustomContextMenu);
  prober_ = new convert::TaskProber(this);
  tasks_.OnLoadError = [this](const std::string& reason) {
    if (env_.appendLog) env_.appendLog("文件加载错误:" + reason);
  };
  prober_->OnBatchStarted = [this] { tasks_.BeginAdd(); };
  prober_->OnProbed = [this](convert::ProbeOutcome outcome) {
    tasks_.AddProbed(std::move(outcome));
  };
  prober_->OnBatchFinished = [this] { FinishAddBatch(); };

  struct TaskAction {
    const char* action;
    const char* button;
    const char* text;
    QKeySequence key;
    void (TFormMain::*slot)();
  };
  const TaskAction actions[] = {
      {"ActionAdd", "ButtonAdd", "添加文件(&A)", QKeySequence(Qt::CTRL | Qt::Key_O),
       &TFormMain::ActionAdd},
      {"ActionDelete", "ButtonDelete", "删除(&D)", QKeySequence(Qt::Key_Delete),
       &TFormMain::ActionDelete},
      {"ActionClear", "ButtonClear", "清除(&C)", QKeySequence(Qt::SHIFT | Qt::Key_Delete),
       &TFormMain::ActionClear},
      {"ActionMoveUp", "ButtonMoveUp", "上移(&M)", {}, &TFormMain::ActionMoveUp},
      {"ActionMoveDown", "ButtonMoveDown", "下移(&O)", {}, &TFormMain::ActionMoveDown},
      {"ActionPlay", "ButtonPlay", "播放(&P)", QKeySequence(Qt::CTRL | Qt::Key_P),
       &TFormMain::ActionPlay},
  };
  popupMenuFiles_ = new QMenu(this);
  popupMenuFiles_->setObjectName("PopupMenuFiles");
  int left = 0;
  for (const auto& t : actions) {
    QAction* action = AddAction(t.action, q(t.text), t.key);
    connect(action, &QAction::triggered, this, t.slot);
    auto* button = new QPushButton(action->text(), page);
    button->setObjectName(t.button);
    button->setGeometry(left, 394, 86, 28);
    left += 93;
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button,
            [action, button] { button->setEnabled(action->isEnabled()); });
    popupMenuFiles_->addAction(action);
    if (std::strcmp(t.action, "ActionClear") == 0 || std::strcmp(t.action, "ActionMoveDown") == 0)
      popupMenuFiles_->addSeparator();
  }
  actionAdd_ = findChild<QAction*>("ActionAdd");
  actionDelete_ = findChild<QAction*>("ActionDelete");
  actionClear_ = findChild<QAction*>("ActionClear");
  actionMoveUp_ = findChild<QAction*>("ActionMoveUp");
  actionMoveDown_ = findChild<QAction*>("ActionMoveDown");
  actionPlay_ = findChild<QAction*>("ActionPlay");
  // Offered in the menu; it has nothing to do yet.
  QAction* cropTrim = AddAction("ActionCropTrim", q("裁剪&&修剪(&R)"));
  popupMenuFiles_->addAction(cropTrim);

  connect(fileGrid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    RefreshTaskActions();
    popupMenuFiles_->popup(fileGrid_->viewport()->mapToGlobal(pos));
  });
  connect(fileGrid_, &convert::FileGrid::PlayRequested, this, &TFormMain::ActionPlay);
  connect(fileGrid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TFormMain::RefreshTaskActions);
  connect(fileGrid_->Model(), &QAbstractItemModel::rowsInserted, this,
          &TFormMain::RefreshTaskActions);
  connect(fileGrid_->Model(), &QAbstractItemModel::rowsRemoved, this,
          &TFormMain::RefreshTaskActions);
  connect(pageControl_, &QTabWidget::currentChanged, this, &TFormMain::RefreshTaskActions);
  // The action states follow whatever changed whenever the program has nothing else to do.
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            &TFormMain::RefreshTaskActions);
  }
}

void TFormMain::CreateFinishLabels() {
  auto add = [this](const char* page, const char* name, const char* pattern, int top) {
    auto* label = new QLabel(q(pattern), pageControl_->findChild<QWidget*>(page));
    label->setObjectName(name);
    label->setGeometry(24, top, 500, 24);
    label->setWordWrap(true);
  };
  add("TabSheetStep4", "LabelFinishTitle1", "%s 已完成转换。", 24);
  add("TabSheetStep4", "LabelFinishTitle2", "要转换其它文件，点击“完成”。点击“退出”，退出%s。", 52);
  add("TabSheetStep7", "LabelFinishedDownloading1", "%s 已完成下载。", 24);
  add("TabSheetStep7", "LabelFinishedDownloading2",
      "要转换其它文件，点击“完成”。点击“退出”，退出%s。", 52);
}

void TFormMain::CreateDownloadPages() {
  download::DownloadRunOptions options;
  options.ServiceDomain = branding_.ServiceDomain;
  options.Agent = "[" + (branding_.Name.empty() ? std::string("Wizconv") : branding_.Name) + "]";
  downloadPages_ = new download::DownloadPages(pageControl_->findChild<QWidget*>("TabSheetStep5"),
                                               pageControl_->findChild<QWidget*>("TabSheetStep6"),
                                               pageControl_->findChild<QWidget*>("TabSheetStep7"),
                                               settings_, options);
  downloadPages_->SetAppTitle(title_);
  downloadPages_->OnLog = [this](const std::string& line) {
    if (env_.appendLog) env_.appendLog(line);
  };
  connect(downloadPages_, &download::DownloadPages::ShowSummaryPage, this,
          [this] { wizard_->DownloadRunEnded(); });
  connect(downloadPages_, &download::DownloadPages::ConvertFiles, this,
          [this](const std::vector<std::string>& files) { OpenFiles(files); });
}

void TFormMain::CreateConversionPages() {
  encoder_ = std::make_unique<engine::TFFEncoder>();
  conversionPages_ = new convert::ConversionPages(pageControl_->findChild<QWidget*>("TabSheetStep3"),
                                                  pageControl_->findChild<QWidget*>("TabSheetStep4"),
                                                  settings_, *encoder_);
  conversionPages_->SetSoundFolder(env_.exeDir + "sounds/");
  conversionPages_->OnLog = [this](const std::string& line) {
    if (env_.appendLog) env_.appendLog(line);
  };
  connect(conversionPages_, &convert::ConversionPages::ShowSummaryPage, this,
          [this] { wizard_->RunEnded(); });
}

// ---------------------------------------------------------------------------------------
// Start-up

void TFormMain::RunStartup() {
  try {
    ApplyBranding();
    HideReducedEditionControls();
    PrepareSettingsFolder();
    SetSettingDefaults();
    LoadSettings();
    CreateDownloadPages();
    formatPicker_->FillPresetLists();
    setAcceptDrops(true);  // the task list takes the dropped files
    ConfigureOpenDialog();
    RestoreMainPlacement();
    SetPageCaptions();
    if (!LoadCodecLibraries()) return;
    JoinClipboardChain();
    ShowFirstPage();
    CreateScriptHost();
    // The window is shown once the event loop runs; the promotion area has nothing to
    // set up in this edition.
    QTimer::singleShot(0, this, [this] {
      if (!closing_) show();
    });
  } catch (const std::exception& e) {
    startupError_ = e.what();
    core::Messages::Error(startupError_);
  }
}

void TFormMain::ApplyBranding() {
  title_ = core::Messages::Title();
  setWindowTitle(q(title_));
  for (const char* name : {"LabelFinishTitle1", "LabelFinishTitle2", "LabelFinishedDownloading1",
                           "LabelFinishedDownloading2"}) {
    auto* label = findChild<QLabel*>(name);
    label->setText(label->text().replace("%s", q(title_)));
  }

  branding_ = ReadBrandingConfig(LoadBrandingLines(BrandingFilePath(env_.exeDir)));
  labelVersion_->setText(q("Version: " + branding_.Version));

  LoadSkinImages();
  if (auto layout = SkinLayoutFor(branding_.Skin)) {
    layout_ = *layout;
    ApplySkinLayout(layout_);
  }
  ApplyOfferedFormats();

  ApplyBrandingDefaults(branding_, settings_);
}

void TFormMain::LoadSkinImages() {
  const std::string folder = WithTrailingSeparator(env_.exeDir + "sounds/" + branding_.ResFolder);
  const QPixmap topLogo = LoadSkinImage(folder, "toplogo.png");
  leftLogo_ = LoadSkinImage(folder, "leftlogo.png");
  const QPixmap download = LoadSkinImage(folder, "downloadyoutube.png");
  const QPixmap convert = LoadSkinImage(folder, "youtubeconvert.png");
  skin_ = LoadSkinImage(folder, "main.bmp");
  QPixmap min[3], close[3], bottom[4];
  for (int i = 0; i < 3; ++i)
    min[i] = LoadSkinImage(folder, ("min_" + std::to_string(i + 1) + ".bmp").c_str());
  for (int i = 0; i < 3; ++i)
    close[i] = LoadSkinImage(folder, ("close_" + std::to_string(i + 1) + ".bmp").c_str());
  for (int i = 0; i < 4; ++i)
    bottom[i] = LoadSkinImage(folder, ("bottom_" + std::to_string(i + 1) + ".bmp").c_str());

  imageTopLogo_->setPixmap(topLogo);
  imageTopLogo_->adjustSize();
  imageLeftLogo_->setPixmap(leftLogo_);
  imageLeftLogo_->adjustSize();
  imageDownloadVideo_->setPixmap(download);
  imageConvertVideo_->setPixmap(convert);
  buttonMin_->setImages(min[0], min[1], min[2]);
  buttonClose_->setImages(close[0], close[1], close[2]);
  for (ImageButton* b : {buttonHelp_, buttonLog_, buttonBack_, buttonNext_, buttonExit_}) {
    b->setImages(bottom[0], bottom[1], bottom[2], bottom[3]);
  }

  // The window takes the skin's size; magenta in the skin is outside the window.
  setFixedSize(skin_.size());
  const QImage image = skin_.toImage();
  setMask(QBitmap::fromImage(image.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor)));
  update();
}

void TFormMain::ApplySkinLayout(const SkinLayout& l) {
  buttonMin_->setVisible(l.captionButtonsVisible);
  buttonClose_->setVisible(l.captionButtonsVisible);
  buttonMin_->move(l.buttonMin.left, l.buttonMin.top);
  buttonClose_->move(l.buttonClose.left, l.buttonClose.top);
  buttonHelp_->move(l.buttonHelp.left, l.buttonHelp.top);
  buttonLog_->move(l.buttonLog.left, l.buttonLog.top);
  buttonBack_->move(l.backLeft, l.bottomTop);
  buttonNext_->move(l.nextLeft, l.bottomTop);
  buttonExit_->move(l.exitLeft, l.bottomTop);
  pageControl_->move(l.pageControl.left, l.pageControl.top);
  labelTitle_->move(l.labelTitle.left, l.labelTitle.top);
  QFont titleFont = labelTitle_->font();
  titleFont.setPixelSize(15);
  titleFont.setBold(l.titleBold);
  labelTitle_->setFont(titleFont);
  const QString labelColour = l.lightLabels ? "white" : rgb(palette::kGrey).name();
  for (QLabel* label : {labelVersion_, labelMoreTools_}) {
    label->setStyleSheet("color: " + labelColour + ";");
  }
  if (l.labelVersionTop) {
    labelVersion_->move(labelVersion_->x(), *l.labelVersionTop);
    labelVersion_->raise();
  }
  if (l.labelMoreToolsTop) {
    labelMoreTools_->move(labelMoreTools_->x(), *l.labelMoreToolsTop);
    labelMoreTools_->raise();
  }
  for (ImageButton* b : {buttonHelp_, buttonLog_, buttonBack_, buttonNext_, buttonExit_}) {
    b->setTransparent(l.transparentBottomButtons);
    b->setCaptionColor(Qt::white);
  }
}

void TFormMain::ApplyOfferedFormats() {
  formatPicker_->ApplyOfferedFormats(convert::OfferedFormatsFrom(branding_));
}

void TFormMain::HideReducedEditionControls() {
  const auto& titles = ReducedEditionTitles();
  if (std::find(titles.begin(), titles.end(), title_) == titles.end()) return;
  for (QWidget* w :
       std::initializer_list<QWidget*>{labelVersion_, labelMoreTools_, buttonHelp_, buttonLog_}) {
    w->hide();
  }
}

void TFormMain::PrepareSettingsFolder() {
  const std::string appData =
      env_.appDataFolder.empty() ? GetShellFolder("AppData") : env_.appDataFolder;
  settingsFolder_ = app::SettingsFolder(appData, title_);
}

void TFormMain::SetSettingDefaults() {
  std::string documents =
      env_.documentsFolder.empty() ? GetShellFolder("Personal") : env_.documentsFolder;
  // The folders and the formats the branding chose stay; the rest takes the defaults.
  AppSettings defaults;
  defaults.LastOpenDir = documents;
  defaults.OutputFileDir = documents;
  defaults.OutputURLDir = documents;
  defaults.OutputFormatClass = settings_.OutputFormatClass;
  defaults.OutputVideoFormat = settings_.OutputVideoFormat;
  defaults.OutputDeviceFormat = settings_.OutputDeviceFormat;
  defaults.OutputAudioFormat = settings_.OutputAudioFormat;
  settings_ = defaults;
}

void TFormMain::LoadSettings() {
  SettingsStore store(SettingsFilePath());
  const bool existed = store.LoadSettings(settings_);
  settingsLoaded_ = true;
  if (!existed) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
  }
}

void TFormMain::ConfigureOpenDialog() {
  openDialogFilter_ =
      "所有支持格式|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;"
      "*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.WEBM;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;"
      "*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|"
      "所有视频格式 (所有类型)|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;"
      "*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.WEBM;|"
      "所有音频格式 (所有类型)|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;"
      "*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|所有文件|*.*";
}

void TFormMain::RestoreMainPlacement() {
  SettingsStore store(SettingsFilePath());
  RestoreWindowPlacement(store, "Form", this);
}

bool TFormMain::LoadCodecLibraries() {
  if (!env_.loadEngineLibraries) return true;
  if (env_.engineLibrariesLoaded && env_.engineLibrariesLoaded()) return true;
  std::string error;
  if (env_.loadEngineLibraries(env_.exeDir + "lib", error)) return true;
  if (env_.loadEngineLibraries(env_.exeDir + "../lib", error)) return true;
  if (env_.appendLog) env_.appendLog(error);
  return false;
}

void TFormMain::JoinClipboardChain() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  auto refresh = [this, clipboard] {
    const QMimeData* data = clipboard->mimeData();
    clipboardHasNoText_ = !(data && data->hasText());
  };
  refresh();
  connect(clipboard, &QClipboard::dataChanged, this, refresh);
}

void TFormMain::ShowFirstPage() {
  GoToStartPage();
  pageControl_->tabBar()->hide();
}

void TFormMain::OpenFiles(const std::vector<std::string>& files) {
  if (files.empty()) return;
  openedFiles_.insert(openedFiles_.end(), files.begin(), files.end());
  radioConvert_->setChecked(true);
  wizard_->ShowTasks();
  DropFiles(files);
}

void TFormMain::CreateScriptHost() {
  scriptHost_ = std::make_unique<script::TJavaScript>();
  scriptHost_->WindowHandle = this;
  scriptHost_->AddScriptlet(script::CreateComponentScriptlet(this, "Form"));
  auto toParser = [this](script::THostScriptlet&, const QString& text) {
    if (OnScriptText) OnScriptText(text);
  };
  scriptHost_->AddScriptlet(script::CreateHostScriptlet(toParser, toParser));
  scriptHost_->OnError = [](script::TCustomScript&, const script::TScriptError& error) {
    core::Messages::Error("错误：行号 " + std::to_string(error.Line + 1) + ", " +
                          error.Description.toStdString());
  };
}

// ---------------------------------------------------------------------------------------
// Wizard

WizardPage TFormMain::CurrentPage() const { return wizard_->Page(); }

void TFormMain::GoToStartPage() { wizard_->GoToStartPage(); }

void TFormMain::SetPageCaptions() {
  wizard_->Configure(branding_.Download, branding_.Merge, title_);
  wizard_->SetPageCaptions();
}

void TFormMain::ShowWizardPage(WizardPage page, const convert::PageCaptions& c) {
  pageControl_->setCurrentWidget(pageControl_->findChild<QWidget*>(PageObjectName(page)));
  labelTitle_->setText(q(c.title));
  actionNext_->setText(q(c.next));
  actionNext_->setEnabled(c.nextEnabled);
  actionBack_->setText(q("返回"));
  actionBack_->setEnabled(c.backEnabled);
  actionExit_->setText(q(c.exit));
  actionExit_->setEnabled(true);
}

void TFormMain::ActionNext() { wizard_->Next(); }
void TFormMain::ActionBack() { wizard_->Back(); }
void TFormMain::ActionExit() { wizard_->Exit(); }

void TFormMain::PrepareRunPage() { conversionPages_->EnterStep3(); }

void TFormMain::StartRun() {
  // Whatever the page still had to draw is drawn before the files are probed.
  QCoreApplication::processEvents();
  conversionPages_->SetAppTitle(title_);
  conversionPages_->StartRun(RunInputFiles(), branding_.Merge);
}

std::vector<std::string> TFormMain::RunInputFiles() const {
  return tasks_.FilePaths();
}

void TFormMain::CancelRun() { conversionPages_->CancelRun(); }

void TFormMain::ClearConversionList() { conversionPages_->ClearConversionList(); }

void TFormMain::CloseFromExit() {
  // Asked from within a close request, the request itself goes on to close.
  if (askingToClose_) {
    closing_ = true;
  } else {
    CloseWithoutAsking();
  }
}

void TFormMain::ChooseOutputFolder() {
  std::string folder = settings_.OutputFileDir;
  if (SelectFolder(this, folder, "请选择一个文件夹")) {
    formatPicker_->SetChosenOutputDir(QString::fromStdString(folder));
  }
}

QPoint TFormMain::HelpMenuPosition() const {
  return QPoint(buttonHelp_->x() + x() + layout_.helpMenuOffset,
                buttonHelp_->y() + y() + buttonHelp_->height());
}

void TFormMain::ActionHelp() { helpMenu_->popup(HelpMenuPosition()); }

void TFormMain::ActionLog() {
  if (!env_.logWindow) return;
  env_.logWindow->show();
  env_.logWindow->raise();
}

void TFormMain::ActionAbout() {
  TFormAbout about(branding_, leftLogo_, layout_.aboutShowsLeftImage, this);
  about.move(geometry().center() - QPoint(about.width() / 2, about.height() / 2));
  about.exec();
}

void TFormMain::OpenLink(const std::string& link) { OpenWithShell(link); }

void TFormMain::CloseWithoutAsking() {
  closing_ = true;
  if (!close()) closing_ = false;
}

// ---------------------------------------------------------------------------------------
// Step 1: the task list

int TFormMain::TaskCount() const { return tasks_.Count(); }

bool TFormMain::AddingFiles() const { return prober_ && prober_->Busy(); }

void TFormMain::ClearTasks() {
  if (prober_) prober_->Cancel();
  UpdateAddingCursor();
  tasks_.Clear();
  RefreshTaskActions();
}

void TFormMain::AddFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  prober_->Probe(paths);
  UpdateAddingCursor();
}

void TFormMain::FinishAddBatch() {
  UpdateAddingCursor();
  RefreshTaskActions();
  if (tasks_.FailedFiles().empty()) return;
  auto* dialog = new convert::TFormFailedAddFile(tasks_.FailedFiles(), branding_.HelpSupportLink,
                                                 this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->CentreOn(this);
  dialog->show();
}

void TFormMain::UpdateAddingCursor() {
  const bool busy = AddingFiles();
  if (busy == addingCursor_) return;
  addingCursor_ = busy;
  if (busy) {
    BeginBusy();
  } else {
    EndBusy();
  }
}

QStringList TFormMain::OpenDialogNameFilters() const {
  // "description|patterns|description|patterns": each pair becomes "description (patterns)".
  const QStringList parts = q(openDialogFilter_).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return filters;
}

void TFormMain::ActionAdd() {
  if (!OnStep1()) return;
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(OpenDialogNameFilters());
  dialog.setDirectory(q(settings_.LastOpenDir));
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted) return;
  std::vector<std::string> files;
  for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
  if (files.empty()) return;
  AddFiles(files);
  settings_.LastOpenDir = WithTrailingSeparator(
      std::filesystem::path(files.front()).parent_path().string());
}

void TFormMain::DropFiles(const std::vector<std::string>& paths) {
  BeginBusy();
  std::vector<std::string> media;
  for (const std::string& path : paths) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) continue;
    if (!IsMediaExtension(ExtractExtension(path))) continue;
    media.push_back(path);
  }
  AddFiles(media);
  EndBusy();
}

void TFormMain::ActionDelete() {
  if (!OnStep1()) return;
  const int selected = fileGrid_->SelectedRow();
  if (selected < 0) return;
  fileGrid_->SelectRow(tasks_.Delete(selected));
  RefreshTaskActions();
}

void TFormMain::ActionClear() {
  if (!OnStep1()) return;
  ClearTasks();
}

void TFormMain::ActionMoveUp() {
  if (!OnStep1()) return;
  const int selected = fileGrid_->SelectedRow();
  if (selected <= 0) return;
  fileGrid_->SelectRow(tasks_.MoveUp(selected));
  RefreshTaskActions();
}

void TFormMain::ActionMoveDown() {
  if (!OnStep1()) return;
  const int selected = fileGrid_->SelectedRow();
  if (selected < 0) return;
  fileGrid_->SelectRow(tasks_.MoveDown(selected));
  RefreshTaskActions();
}

void TFormMain::ActionPlay() {
  if (!OnStep1()) return;
  const int selected = fileGrid_->SelectedRow();
  if (selected < 0) return;
  OpenWithShell(tasks_.Row(selected).Facts.Path);
}

bool TFormMain::OnStep1() const { return CurrentPage() == WizardPage::Step1; }

void TFormMain::RefreshTaskActions() {
  if (!fileGrid_) return;
  // The row actions act on the grid, so they are offered on its page only.
  const bool page = OnStep1();
  const convert::TaskActionStates s = tasks_.ActionStates(fileGrid_->SelectedRow());
  actionAdd_->setEnabled(page);
  actionDelete_->setEnabled(page && s.Delete);
  actionPlay_->setEnabled(page && s.Play);
  actionClear_->setEnabled(page && s.Clear);
  actionMoveUp_->setEnabled(page && s.MoveUp);
  actionMoveDown_->setEnabled(page && s.MoveDown);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths;
  for (const QUrl& url : e->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  e->acceptProposedAction();
  DropFiles(paths);
}

// ---------------------------------------------------------------------------------------
// Window events

void TFormMain::showEvent(QShowEvent* e) {
  labelVersion_->hide();
  labelMoreTools_->hide();
  RefreshTaskActions();
  QWidget::showEvent(e);
}

void TFormMain::closeEvent(QCloseEvent* e) {
  // A close from outside (the window manager's Alt+F4) asks like the Exit button.
  if (!closing_) {
    askingToClose_ = true;
    ActionExit();
    askingToClose_ = false;
    if (!closing_) {
      e->ignore();
      return;
    }
  }
  StopWork();
  SaveOnClose();
  e->accept();
  emit Closed();
}

void TFormMain::StopWork() {
  // Nothing of the run reaches the pages any more, no end-of-run action follows, and
  // every job is stopped and waited for. The download side stops its transfers after.
  if (conversionPages_) conversionPages_->Detach();
  if (downloadPages_) downloadPages_->CancelRun();
}

void TFormMain::SaveOnClose() {
  // A start-up that failed before the settings were read must not overwrite them with
  // defaults.
  if (!settingsLoaded_) return;
  try {
    SettingsStore store(SettingsFilePath());
    store.SaveSettings(settings_);
    SaveWindowPlacement(store, "Form", this);
    if (env_.logWindow) SaveWindowPlacement(store, "FormLog", env_.logWindow);
  } catch (const std::exception& ex) {
    core::Messages::Error(ex.what());
  }
}

void TFormMain::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (skin_.isNull()) {
    painter.fillRect(rect(), rgb(palette::kWindow));
  } else {
    painter.drawPixmap(0, 0, skin_);
  }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imageTopLogo_ || watched == imageLeftLogo_) {
    auto* me = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        if (me->button() == Qt::LeftButton) {
          dragging_ = true;
          dragOffset_ = me->globalPosition().toPoint() - pos();
          return true;
        }
        break;
      case QEvent::MouseMove:
        if (dragging_) {
          move(me->globalPosition().toPoint() - dragOffset_);
          return true;
        }
        break;
      case QEvent::MouseButtonRelease:
        dragging_ = false;
        break;
      default:
        break;
    }
  } else if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == imageDownloadVideo_ || watched == imageConvertVideo_) {
      QRadioButton* radio = watched == imageDownloadVideo_ ? radioDownload_ : radioConvert_;
      radio->setChecked(true);
      radio->setFocus();
      return true;
    }
    if (watched == labelMoreTools_) {
      OpenLink(branding_.HelpMoreFreeToolsLink);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace app
