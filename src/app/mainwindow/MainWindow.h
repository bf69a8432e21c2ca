#pragma once
// The main window: a fixed-size, borderless, skinned wizard. Its creation runs the
// program's start-up (branding, settings, libraries, first page); closing it stops the
// work, saves the settings and ends the program.

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appcore/AppSettings.h"
#include "appcore/Branding.h"
#include "convert/TaskList.h"
#include "app/mainwindow/SkinLayout.h"
#include "app/mainwindow/WizardPages.h"

class QAction;
class QLabel;
class QMenu;
class QRadioButton;
class QTabWidget;

namespace convert {
class ConversionPages;
class FileGrid;
class FormatPicker;
class WizardFlow;
class TaskProber;
}
namespace download {
class DownloadPages;
}

namespace engine {
class TFFEncoder;
}
namespace script {
class TJavaScript;
}

namespace app {

class ImageButton;
class SettingsStore;

// What the start-up takes from outside the window. The program fills it from the
// system; tests give their own folders.
struct MainWindowEnvironment {
  std::string exeDir;         // the executable's folder, with a trailing separator
  std::string appDataFolder;  // per-user application data; empty: the system's
  std::string documentsFolder;
  // Appends one line to the log window.
  std::function<void(const std::string&)> appendLog;
  // The log window: shown by the log action, its placement saved at close.
  QPointer<QWidget> logWindow;
  // Codec libraries: whether they are loaded, and loading them from a folder (false and
  // the loader's error text on failure).
  std::function<bool()> engineLibrariesLoaded;
  std::function<bool(const std::string& folder, std::string& error)> loadEngineLibraries;
};

class TFormMain : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMain(MainWindowEnvironment env, QWidget* parent = nullptr);
  ~TFormMain() override;

  const BrandingConfig& Branding() const { return branding_; }
  AppSettings& Settings() { return settings_; }
  const std::string& Title() const { return title_; }
  const std::string& SettingsFolder() const { return settingsFolder_; }
  std::string SettingsFilePath() const;
  // The error that stopped the start-up, empty when it ran through.
  const std::string& StartupError() const { return startupError_; }
  bool SettingsLoaded() const { return settingsLoaded_; }
  const std::string& OpenDialogFilter() const { return openDialogFilter_; }
  bool ClipboardHasNoText() const { return clipboardHasNoText_; }

  // Files handed over at start ("wizconv FILE...", a file manager's "Open with"): shows
  // step 1 and adds them as if they had been dropped on the window. Nothing for an empty
  // list.
  void OpenFiles(const std::vector<std::string>& files);
  // What OpenFiles was given, in order.
  const std::vector<std::string>& OpenedFiles() const { return openedFiles_; }
  // Steps 5 to 7; null before the start-up has read the settings.
  download::DownloadPages* DownloadPagesOf() const { return downloadPages_; }

  WizardPage CurrentPage() const;
  void GoToStartPage();
  void SetPageCaptions();
  convert::WizardFlow& Wizard() { return *wizard_; }

  // Where the help menu pops up, in screen coordinates.
  QPoint HelpMenuPosition() const;
  QMenu* HelpMenu() const { return helpMenu_; }
  convert::FormatPicker* FormatPicker() const { return formatPicker_; }
  // Steps 3 and 4 and the run controller behind them.
  convert::ConversionPages* ConversionPages() const { return conversionPages_; }
  // The encoder component that runs the conversions.
  engine::TFFEncoder& Encoder() { return *encoder_; }
  // The script host that runs the link-extraction script; nothing before start-up made it.
  script::TJavaScript* ScriptHost() const { return scriptHost_.get(); }
  // Every text a script hands to Host.Echo or Host.Alert (the link parser reads them).
  std::function<void(const QString&)> OnScriptText;

  // Step 1's files. Adding probes the files on a worker thread: the rows appear one by one
  // in the given order, and the files that could not be opened are listed in one dialog
  // once the whole list is probed. Nothing for an empty list.
  void AddFiles(const std::vector<std::string>& paths);
  // Dropped files: folders and files without a media extension are left out.
  void DropFiles(const std::vector<std::string>& paths);
  // True while added files are still being probed.
  bool AddingFiles() const;
  int TaskCount() const;
  const convert::TaskList& Tasks() const { return tasks_; }
  // Removes every row and forgets the files still waiting to be probed.
  void ClearTasks();
  // The open dialog's filter in the dialog's own form, one entry per pair of the filter text.
  QStringList OpenDialogNameFilters() const;

  // Titles of the reduced editions, which hide the version, more-tools, help and log
  // controls. Empty unless an edition needs it.
  static std::vector<std::string>& ReducedEditionTitles();

 signals:
  // The window has closed: the program ends.
  void Closed();

 public slots:
  void ActionNext();
  void ActionBack();
  void ActionExit();
  void ActionHelp();
  void ActionLog();
  void ActionAbout();
  // Closes without asking (the session ends): the settings are saved as on any close.
  void CloseWithoutAsking();
  void ActionAdd();
  void ActionDelete();
  void ActionClear();
  void ActionMoveUp();
  void ActionMoveDown();
  void ActionPlay();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void CreateControls();
  void CreateModePage(QWidget* page);
  void CreateStep1Page(QWidget* page);
  void CreateFinishLabels();
  void CreateConversionPages();
  // The download pages need the edition's service and the loaded settings.
  void CreateDownloadPages();
  QAction* AddAction(const char* name, const QString& text, const QKeySequence& key = {});

  // The start-up steps, in order.
  void RunStartup();
  void ApplyBranding();
  void LoadSkinImages();
  void ApplySkinLayout(const SkinLayout& layout);
  void ApplyOfferedFormats();
  void HideReducedEditionControls();
  void PrepareSettingsFolder();
  void SetSettingDefaults();
  void LoadSettings();
  void ConfigureOpenDialog();
  void RestoreMainPlacement();
  bool LoadCodecLibraries();
  void JoinClipboardChain();
  void ShowFirstPage();
  void CreateScriptHost();

  class PagesHost;
  friend class PagesHost;
  // What the wizard reaches on the pages, page by page.
  void ShowWizardPage(WizardPage page, const convert::PageCaptions& captions);
  // Step 3: the finishing options from the settings, before the run starts.
  void PrepareRunPage();
  void CancelRun();
  void ClearConversionList();
  void CloseFromExit();

  void RefreshTaskActions();
  bool OnStep1() const;
  void FinishAddBatch();
  void UpdateAddingCursor();
  void ChooseOutputFolder();
  // The conversion run of step 3 (the run controller starts it).
  void StartRun();
  // Full paths of the step-1 files, top to bottom.
  std::vector<std::string> RunInputFiles() const;
  // The close query: the work stops before anything is saved.
  void StopWork();
  void SaveOnClose();
  void OpenLink(const std::string& link);

  MainWindowEnvironment env_;
  BrandingConfig branding_;
  AppSettings settings_;
  std::string title_;
  std::string settingsFolder_;
  std::string startupError_;
  std::string openDialogFilter_;
  bool settingsLoaded_ = false;
  bool clipboardHasNoText_ = true;
  bool closing_ = false;
  bool askingToClose_ = false;

  QPixmap skin_;
  QPixmap leftLogo_;
  SkinLayout layout_;

  QLabel* imageTopLogo_ = nullptr;
  QLabel* imageLeftLogo_ = nullptr;
  QLabel* labelTitle_ = nullptr;
  QLabel* labelVersion_ = nullptr;
  QLabel* labelMoreTools_ = nullptr;
  ImageButton* buttonMin_ = nullptr;
  ImageButton* buttonClose_ = nullptr;
  ImageButton* buttonHelp_ = nullptr;
  ImageButton* buttonLog_ = nullptr;
  ImageButton* buttonBack_ = nullptr;
  ImageButton* buttonNext_ = nullptr;
  ImageButton* buttonExit_ = nullptr;
  QTabWidget* pageControl_ = nullptr;
  convert::TaskList tasks_;
  convert::FileGrid* fileGrid_ = nullptr;
  convert::TaskProber* prober_ = nullptr;
  QMenu* popupMenuFiles_ = nullptr;
  bool addingCursor_ = false;
  QLabel* imageDownloadVideo_ = nullptr;
  QLabel* imageConvertVideo_ = nullptr;
  QRadioButton* radioDownload_ = nullptr;
  QRadioButton* radioConvert_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  convert::FormatPicker* formatPicker_ = nullptr;
  std::unique_ptr<engine::TFFEncoder> encoder_;
  convert::ConversionPages* conversionPages_ = nullptr;
  download::DownloadPages* downloadPages_ = nullptr;
  std::unique_ptr<script::TJavaScript> scriptHost_;
  std::unique_ptr<PagesHost> pagesHost_;
  std::unique_ptr<convert::WizardFlow> wizard_;

  QAction* actionBack_ = nullptr;
  QAction* actionNext_ = nullptr;
  QAction* actionExit_ = nullptr;
  QAction* actionAdd_ = nullptr;
  QAction* actionDelete_ = nullptr;
  QAction* actionClear_ = nullptr;
  QAction* actionMoveUp_ = nullptr;
  QAction* actionMoveDown_ = nullptr;
  QAction* actionPlay_ = nullptr;

  std::vector<std::string> openedFiles_;
  QPoint dragOffset_;
  bool dragging_ = false;
};

}  // namespace app
