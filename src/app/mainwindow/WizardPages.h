#pragma once
// The wizard's pages and what the title line and the three wizard buttons show on each.
// Plain data and functions, so the captions can be checked without a window.

#include <string>

namespace app {

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

// objectName of the page widget.
const char* PageObjectName(WizardPage page);
// Caption of the page's tab (seen only while the tab strip is shown).
const char* PageTabCaption(WizardPage page);

}  // namespace app
