#pragma once
// The wizard's page state machine: which page shows, what the title line and the three
// wizard buttons read on it, and where Next, Back and Exit lead, with their questions.
// Plain C++: the pages are reached through WizardHost, the questions through
// core::Messages, so a test drives the whole wizard without a window.

#include <string>

namespace convert {

enum class WizardPage { Mode, Step1, Step2, Step3, Step4, Step5, Step6, Step7 };

struct PageCaptions {
  std::string title;
  std::string next;
  bool nextEnabled = true;
  bool backEnabled = false;
  std::string exit;
  // Back always reads "返回" and Exit is always enabled.
};

// `download` is the branding flag that adds the mode page and the download pages,
// `merge` the flag of the joining edition, `appTitle` the application title.
PageCaptions CaptionsFor(WizardPage page, bool download, bool merge, const std::string& appTitle);

// The page the wizard starts on and returns to.
inline WizardPage StartPage(bool download) {
  return download ? WizardPage::Mode : WizardPage::Step1;
}

// What the wizard reaches on its pages. The main window implements it over its widgets.
class WizardHost {
 public:
  virtual ~WizardHost() = default;

  // Makes `page` the visible page and shows its captions.
  virtual void ShowPage(WizardPage page, const PageCaptions& captions) = 0;

  // Step 1: the task list.
  virtual int TaskCount() = 0;
  virtual void ClearTasks() = 0;

  // Step 2: the stored format choice and output folder shown, and read back (the folder
  // is stored with a trailing separator).
  virtual void ShowSelection() = 0;
  virtual void ReadSelection() = 0;
  // The stored output folder exists or has been made (all missing levels at once), and
  // a file can be written into it.
  virtual bool OutputFolderAvailable() = 0;

  // Step 3: the conversion run.
  // Lets the events that are waiting be handled before the run's page shows.
  virtual void ProcessPendingEvents() {}
  // Sets the finishing options of the run page from the settings.
  virtual void PrepareRunPage() {}
  // Starts the run once the page has been drawn (the start is posted, not called).
  virtual void StartRun() = 0;
  // Cancels the run, also one whose start is still posted.
  virtual void CancelRun() = 0;
  virtual void ClearConversionList() = 0;

  virtual void CloseWindow() = 0;

  // The mode page and the download pages; an edition without downloads never reaches
  // them.
  virtual bool DownloadChosen() { return false; }
  virtual bool ConvertChosen() { return false; }
  // Step 5: the download settings shown, and read back.
  virtual void ShowDownloadSettings() {}
  virtual void ReadDownloadSettings() {}
  virtual int AddressCount() { return 0; }
  virtual bool DownloadFolderAvailable() { return false; }
  virtual void ClearAddressList() {}
  // Step 6: the download run.
  virtual void StartDownloadRun() {}
  virtual void AbortDownloadRun() {}
  virtual void ClearDownloadList() {}
};

class WizardFlow {
 public:
  explicit WizardFlow(WizardHost& host) : host_(host) {}

  // The edition's flags and title; set before the first page shows.
  void Configure(bool download, bool merge, std::string appTitle);
  bool Download() const { return download_; }

  WizardPage Page() const { return page_; }
  PageCaptions Captions() const { return CaptionsFor(page_, download_, merge_, appTitle_); }

  void GoToStartPage();
  // Shows the captions of the current page again.
  void SetPageCaptions();

  // The three wizard buttons (and their keys). A disabled button does nothing, nor does
  // one pressed while another's action is still under way (the events let through
  // before step 3 shows may hold a second click).
  void Next();
  void Back();
  void Exit();

  // The conversion run has ended and its summary is to be shown: step 4.
  void RunEnded();
  // The download run has ended: step 7.
  void DownloadRunEnded();
  // The downloaded files have been handed to the task list: step 1.
  void ShowTasks();

 private:
  void Show(WizardPage page);
  void DoNext();
  void DoBack();
  void DoExit();
  // Asks, and on Yes empties the task list and returns to the start page.
  void CancelTasks(const char* question);
  void CancelAddresses(const char* question);

  WizardHost& host_;
  bool download_ = false;
  bool merge_ = false;
  std::string appTitle_;
  WizardPage page_ = WizardPage::Step1;
  bool acting_ = false;
};

}  // namespace convert
