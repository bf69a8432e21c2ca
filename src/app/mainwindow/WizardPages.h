#pragma once
// The wizard's pages as widgets: the objectName and tab caption of each page. Where the
// pages lead and what they read is the wizard flow's.

#include "convert/WizardFlow.h"

namespace app {

using convert::WizardPage;

// objectName of the page widget.
const char* PageObjectName(WizardPage page);
// Caption of the page's tab (seen only while the tab strip is shown).
const char* PageTabCaption(WizardPage page);

}  // namespace app
