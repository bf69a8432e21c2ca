#pragma once
// Step 5 (the addresses to download, the quality group, the download folder), step 6
// (the run's progress: the download list and the status group) and step 7 (the summary
// and the button that hands the saved files to the conversion pages) of the wizard, over
// the address list, the quality preference and the download run. The wizard flow reaches
// them through its host: EnterStep5 when step 5 shows; on Next, ReadDownloadSettings,
// then AddressCount and DownloadFolderAvailable, then StartDownloadRun; CancelRun after
// the person confirmed it. The pages' signals tell the wizard where to go. Everything
// here runs on the main thread.

#include <QAbstractTableModel>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appcore/AppSettings.h"
#include "download/AddressList.h"
#include "download/DownloadRun.h"
#include "download/QualityPreference.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeView;
class QWidget;

namespace download {

// The download list as a Qt table over the run's rows.
class DownloadListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit DownloadListModel(const DownloadRun& run, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  void Reset();
  void RowChanged(int row);

 private:
  const DownloadRun& run_;
};

class DownloadPages : public QObject {
  Q_OBJECT
 public:
  // Builds the controls on the wizard's TabSheetStep5, 6 and 7 pages; `settings` (the
  // download folder, the quality mode and order) must outlive this.
  DownloadPages(QWidget* step5Page, QWidget* step6Page, QWidget* step7Page,
                app::AppSettings& settings, DownloadRunOptions options);
  ~DownloadPages() override;

  // The application title: the "%s" of the summary texts and the caption of the boxes.
  void SetAppTitle(const std::string& title);

  // Showing step 5: the folder box and the quality group take the settings.
  void EnterStep5();
  // Next on step 5: the folder (with a trailing separator) and the mode are read back
  // into the settings.
  void ReadDownloadSettings();
  int AddressCount() const { return addresses_.Count(); }
  // The folder box is not empty and its folder exists or has been made.
  bool DownloadFolderAvailable();
  // Starts the run over the listed addresses into the settings' folder.
  void StartDownloadRun();
  // Exit (Yes) on step 6, or the window closing: the run ends with its summary.
  void CancelRun();
  bool IsRunning() const { return run_.Running(); }
  // Finish on step 7, Back or Exit on step 5.
  void ClearAddressList();

  // ---- the actions of step 5 ----
  void Paste();
  void RemoveSelected();
  void Empty();
  void SelectFolder();
  // The convert button of step 7.
  void ConvertDownloaded();

  AddressList& Addresses() { return addresses_; }
  DownloadRun& Run() { return run_; }
  QualityPreference& Quality() { return quality_; }
  DownloadListModel* ListModel() const { return model_; }
  bool ClipboardHasText() const { return clipboardHasText_; }

  // Asks about a refused pasted line: true for OK. Empty: an OK/Cancel message box.
  std::function<bool(const std::string& text)> AskRefusal;
  // Chooses the download folder; empty: the folder dialog.
  std::function<bool(std::string& folder)> ChooseFolder;
  // Opens an address or the folder; empty: the desktop's default program.
  std::function<void(const std::string& target)> Open;
  // Log lines of the run, for the log window.
  std::function<void(const std::string&)> OnLog;

 signals:
  // The run is over: the wizard shows step 7 and brings its buttons up to date.
  void ShowSummaryPage();
  // The convert button with saved files: the wizard shows step 1 and adds them.
  void ConvertFiles(const std::vector<std::string>& files);

 private:
  void BuildStep5(QWidget* page);
  void BuildStep6(QWidget* page);
  void BuildStep7(QWidget* page);
  void RefreshAddressList();
  void RefreshActions();
  void RefreshQualityLabel();
  void RefreshLabels();
  void ClipboardChanged();
  void ConfigureQuality();
  void ShowSummary();
  QLabel* Label(QWidget* page, const char* name, const char* text, int x, int y, int w);

  app::AppSettings& settings_;
  AddressList addresses_;
  QualityPreference quality_;
  DownloadRun run_;
  std::string appTitle_;
  bool clipboardHasText_ = false;

  QListWidget* listInput_ = nullptr;
  QAction* actionPaste_ = nullptr;
  QAction* actionRemove_ = nullptr;
  QAction* actionEmpty_ = nullptr;
  QAction* actionSelect_ = nullptr;
  QLineEdit* editOutput_ = nullptr;
  QCheckBox* checkQuality_ = nullptr;
  QPushButton* buttonQualityConfig_ = nullptr;
  QLabel* labelQuality_ = nullptr;

  DownloadListModel* model_ = nullptr;
  QTreeView* listDownload_ = nullptr;
  QLabel* labelCurrentFile_ = nullptr;
  QLabel* labelStatus_ = nullptr;
  QLabel* labelSpeed_ = nullptr;
  QLabel* labelElapsed_ = nullptr;
  QLabel* labelTimeLeft_ = nullptr;
  QLabel* labelQualityNow_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* labelProgress_ = nullptr;

  QLabel* labelFinished1_ = nullptr;
  QLabel* labelFinished2_ = nullptr;
  QLabel* labelTotal_ = nullptr;
  QLabel* labelSucceeded_ = nullptr;
  QLabel* labelFailed_ = nullptr;
  QLabel* labelOpenFolder_ = nullptr;
  QPushButton* buttonConvert_ = nullptr;
};

}  // namespace download
