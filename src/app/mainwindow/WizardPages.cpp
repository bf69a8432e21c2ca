#include "app/mainwindow/WizardPages.h"

namespace app {

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

const char* PageObjectName(WizardPage page) {
  switch (page) {
    case WizardPage::Mode:
      return "TabSheetMode";
    case WizardPage::Step1:
      return "TabSheetStep1";
    case WizardPage::Step2:
      return "TabSheetStep2";
    case WizardPage::Step3:
      return "TabSheetStep3";
    case WizardPage::Step4:
      return "TabSheetStep4";
    case WizardPage::Step5:
      return "TabSheetStep5";
    case WizardPage::Step6:
      return "TabSheetStep6";
    case WizardPage::Step7:
      return "TabSheetStep7";
  }
  return "";
}

const char* PageTabCaption(WizardPage page) {
  switch (page) {
    case WizardPage::Mode:
      return "模式";
    case WizardPage::Step1:
      return "步骤1";
    case WizardPage::Step2:
      return "步骤2";
    case WizardPage::Step3:
      return "步骤3";
    case WizardPage::Step4:
      return "步骤4";
    case WizardPage::Step5:
      return "步骤5";
    case WizardPage::Step6:
      return "步骤6";
    case WizardPage::Step7:
      return "步骤7";
  }
  return "";
}

}  // namespace app
