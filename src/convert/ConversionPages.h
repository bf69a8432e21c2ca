#pragma once
// Step 3 (the run's progress: the conversion list, the current file, the times, the
// overall bar, the finishing options and the preview box) and step 4 (the summary) of
// the wizard, over the run controller. The wizard calls StartRun once step 3 is drawn,
// CancelRun after the person confirmed it, and switches to step 4 when ShowSummaryPage
// comes; everything here runs on the main thread.

#include <QAbstractTableModel>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appcore/AppSettings.h"
#include "convert/ConversionRun.h"
#include "convert/RunFinishing.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTreeView;
class QWidget;

namespace engine {
class TFFEncoder;
}

namespace convert {

// The conversion list as a Qt table: the run's rows, the captions of its mode.
class ConversionListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ConversionListModel(const ConversionRun& run, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  void Reset();
  void RowChanged(int row);

 private:
  const ConversionRun& run_;
};

class ConversionPages : public QObject {
  Q_OBJECT
 public:
  // Builds the controls on the wizard's TabSheetStep3 and TabSheetStep4 pages; `settings`
  // (the finishing options, the output folder) and `encoder` must outlive this.
  ConversionPages(QWidget* step3Page, QWidget* step4Page, app::AppSettings& settings,
                  engine::TFFEncoder& encoder);
  ~ConversionPages() override;

  // The application title (countdown text, summary) and the folder of "sounds/".
  void SetAppTitle(const std::string& title) { appTitle_ = title; }
  void SetSoundFolder(const std::string& folder) { run_.SoundFolder = folder; }

  // Entering step 3: the finishing boxes take the settings.
  void EnterStep3();
  // Builds the jobs of `files` (full paths, top to bottom) and starts them; false when no
  // job could be built (nothing runs, the page stays as it is).
  bool StartRun(const std::vector<std::string>& files, bool merge);
  // Stops the running job and the waiting ones; the summary follows as usual.
  void CancelRun();
  bool IsRunning() const { return run_.IsRunning(); }
  // The window closes during a run: nothing more reaches the pages, no end-of-run action.
  void Detach() { run_.Detach(); }
  void ClearConversionList() { run_.ClearList(); }

  ConversionRun& Run() { return run_; }
  ConversionListModel* ListModel() const { return model_; }
  SoundPlayer& Sounds() { return sounds_; }
  // The countdown's step; tests shorten it.
  int CountdownTickMs = 1000;
  // Replaces the countdown dialog (tests); empty: the real dialog, shown modally.
  std::function<bool()> CountDown;

  // The builder's log lines, for the log window.
  std::function<void(const std::string&)> OnLog;

 signals:
  // The wizard switches to step 4 (before its labels are filled).
  void ShowSummaryPage();
  // The summary is shown: the run is over.
  void SummaryShown();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class WindowActions;
  void BuildStep3(QWidget* page);
  void BuildStep4(QWidget* page);
  void RefreshLabels();
  void ShowSummary(const RunSummary& summary);
  bool RunCountdown();

  app::AppSettings& settings_;
  engine::TFFEncoder& encoder_;
  ConversionRun run_;
  std::unique_ptr<WindowActions> actions_;
  SoundPlayer sounds_;
  std::string appTitle_;
  QWidget* step3_ = nullptr;

  ConversionListModel* model_ = nullptr;
  QTreeView* listView_ = nullptr;
  QLabel* labelCurrentFileTitle_ = nullptr;
  QLabel* labelCurrentFile_ = nullptr;
  QLabel* labelEstimated_ = nullptr;
  QLabel* labelElapsed_ = nullptr;
  QLabel* labelTimeLeft_ = nullptr;
  QLabel* labelProgress_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QCheckBox* checkSound_ = nullptr;
  QCheckBox* checkShutdown_ = nullptr;
  QCheckBox* checkPreview_ = nullptr;

  QLabel* labelTotal_ = nullptr;
  QLabel* labelSucceeded_ = nullptr;
  QLabel* labelFailed_ = nullptr;
  QPlainTextEdit* memoErrorLog_ = nullptr;
  QLabel* labelOpenFolder_ = nullptr;
};

}  // namespace convert
