#include "convert/WizardFlow.h"

#include "core/Messages.h"

namespace convert {

PageCaptions CaptionsFor(WizardPage page, bool download, bool merge, const std::string& appTitle) {
  switch (page) {
    case WizardPage::Mode:
      return {"欢迎到" + appTitle + "！你想做什么？", "下步", true, false, "退出"};
    case WizardPage::Step1:
      return {"选择要转换的文件。使用“上移”和“下移”更改顺序。", "下步", true, download,
              download ? "取消" : "退出"};
    case WizardPage::Step2:
      return {"选择输出模式并指定输出文件路径。", merge ? "现在加入" : "转换", true, true, "取消"};
    case WizardPage::Step3:
      return {"转换信息。", "下步", false, false, "取消"};
    case WizardPage::Step4:
      return {"转换完成。", "完成", true, false, "退出"};
    case WizardPage::Step5:
      return {"从您的浏览器地址栏复制一个YouTube链接，粘贴到此处", "下载", true, true, "取消"};
    case WizardPage::Step6:
      return {"下载信息。", "下步", false, false, "取消"};
    case WizardPage::Step7:
      return {"下载完成。", "完成", true, false, "退出"};
  }
  return {};
}

namespace {
const char* const kNoFolder = "无法创建目录！请检查输出文件夹格式是否正确！";
const char* const kQuit = "你确定要退出？";
const char* const kCancel = "您确定要取消？";
const char* const kCancelAndBack = "您确定要取消并返回？";
}  // namespace

void WizardFlow::Configure(bool download, bool merge, std::string appTitle) {
  download_ = download;
  merge_ = merge;
  appTitle_ = std::move(appTitle);
}

void WizardFlow::Show(WizardPage page) {
  page_ = page;
  host_.ShowPage(page_, Captions());
}

void WizardFlow::GoToStartPage() { Show(StartPage(download_)); }

void WizardFlow::SetPageCaptions() { host_.ShowPage(page_, Captions()); }

void WizardFlow::CancelTasks(const char* question) {
  if (!core::Messages::Confirm(question)) return;
  host_.ClearTasks();
  GoToStartPage();
}

void WizardFlow::CancelAddresses(const char* question) {
  if (!core::Messages::Confirm(question)) return;
  host_.ClearAddressList();
  GoToStartPage();
}

namespace {
// Marks an action under way for as long as it runs.
class Acting {
 public:
  explicit Acting(bool& flag) : flag_(flag), entered_(!flag) { flag_ = true; }
  ~Acting() {
    if (entered_) flag_ = false;
  }
  bool Entered() const { return entered_; }

 private:
  bool& flag_;
  bool entered_;
};
}  // namespace

void WizardFlow::Next() {
  Acting acting(acting_);
  if (acting.Entered()) DoNext();
}

void WizardFlow::Back() {
  Acting acting(acting_);
  if (acting.Entered()) DoBack();
}

void WizardFlow::Exit() {
  Acting acting(acting_);
  if (acting.Entered()) DoExit();
}

void WizardFlow::DoNext() {
  if (!Captions().nextEnabled) return;
  switch (page_) {
    case WizardPage::Mode:
      if (host_.DownloadChosen()) {
        host_.ShowDownloadSettings();
        Show(WizardPage::Step5);
      } else if (host_.ConvertChosen()) {
        Show(WizardPage::Step1);
      }
      break;
    case WizardPage::Step1:
      if (host_.TaskCount() > 0) {
        Show(WizardPage::Step2);
        host_.ShowSelection();
      } else {
        core::Messages::Information("请添加你要转换的视频文件");
      }
      break;
    case WizardPage::Step2:
      host_.ReadSelection();
      if (!host_.OutputFolderAvailable()) {
        core::Messages::Information(kNoFolder);
        break;
      }
      host_.ProcessPendingEvents();
      Show(WizardPage::Step3);
      host_.PrepareRunPage();
      host_.StartRun();
      break;
    case WizardPage::Step4:
      host_.ClearTasks();
      host_.ClearConversionList();
      GoToStartPage();
      break;
    case WizardPage::Step5:
      host_.ReadDownloadSettings();
      if (host_.AddressCount() == 0) {
        core::Messages::Information("请复制并粘贴你要下载的YouTube视频链接。");
      } else if (host_.DownloadFolderAvailable()) {
        Show(WizardPage::Step6);
        host_.ClearDownloadList();
        host_.StartDownloadRun();
      } else {
        core::Messages::Information(kNoFolder);
      }
      break;
    case WizardPage::Step7:
      host_.ClearAddressList();
      host_.ClearDownloadList();
      GoToStartPage();
      break;
    case WizardPage::Step3:
    case WizardPage::Step6:
      break;
  }
}

void WizardFlow::DoBack() {
  if (!Captions().backEnabled) return;
  switch (page_) {
    case WizardPage::Step1:
      CancelTasks(kCancelAndBack);
      break;
    case WizardPage::Step2:
      // The choices made on step 2 are not read back.
      Show(WizardPage::Step1);
      break;
    case WizardPage::Step5:
      CancelAddresses(kCancelAndBack);
      break;
    default:
      break;
  }
}

void WizardFlow::DoExit() {
  switch (page_) {
    case WizardPage::Mode:
    case WizardPage::Step4:
    case WizardPage::Step7:
      if (core::Messages::Confirm(kQuit)) host_.CloseWindow();
      break;
    case WizardPage::Step1:
      if (download_) {
        CancelTasks(kCancel);
      } else if (core::Messages::Confirm(kQuit)) {
        host_.CloseWindow();
      }
      break;
    case WizardPage::Step2:
      CancelTasks(kCancel);
      break;
    case WizardPage::Step5:
      CancelAddresses(kCancel);
      break;
    case WizardPage::Step3:
      if (!core::Messages::Confirm("你真的要取消转换？")) break;
      // The run may have ended while the question was open: its summary shows then, and
      // there is nothing left to cancel.
      if (page_ == WizardPage::Step3) host_.CancelRun();
      SetPageCaptions();
      break;
    case WizardPage::Step6:
      if (!core::Messages::Confirm("你真的要取消下载？")) break;
      if (page_ == WizardPage::Step6) host_.AbortDownloadRun();
      break;
  }
}

void WizardFlow::RunEnded() { Show(WizardPage::Step4); }

void WizardFlow::DownloadRunEnded() { Show(WizardPage::Step7); }

void WizardFlow::ShowTasks() { Show(WizardPage::Step1); }

}  // namespace convert
