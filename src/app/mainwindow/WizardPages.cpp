#include "app/mainwindow/WizardPages.h"

namespace app {

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
