#pragma once
// Step 2's output folder, class buttons, format pages and preset lists, built on the page
// the wizard gives and driven by the selection model. Class and format clicks change the
// settings at once; the folder and the presets are taken by ReadSelection (Next).

#include <QObject>
#include <QString>
#include <array>

#include "appcore/AppSettings.h"
#include "convert/FormatCatalogue.h"
#include "convert/FormatSelection.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace convert {

class FormatButton;

class FormatPicker : public QObject {
  Q_OBJECT
 public:
  // Creates the controls as children of `step2Page` (the wizard's TabSheetStep2, 553 x 426)
  // and works on `settings`, which must outlive the picker. Every format counts as offered
  // until ApplyOfferedFormats is called.
  FormatPicker(QWidget* step2Page, app::AppSettings& settings);

  // Puts every preset text into its format's list (again, without doubling, when repeated).
  void FillPresetLists();
  // Shows, hides and places the format and class buttons; flags in catalogue order.
  void ApplyOfferedFormats(const OfferedFormats& offered);
  void SelectClass(int formatClass);
  void SelectFormat(int formatClass, int code);
  // Entering step 2: the settings go into the controls.
  void ShowSelection();
  // Next on step 2: the folder text (with a trailing "/") and every list's selected index
  // (-1 when nothing is selected) go into the settings.
  void ReadSelection();
  // The folder dialog's answer: shown with a trailing "/" and stored in the settings at once.
  void SetChosenOutputDir(const QString& folder);

  QLineEdit* OutputDirEdit() const { return editOutputDir_; }
  QStackedWidget* PageControl() const { return pageControl_; }
  FormatButton* ClassButton(int formatClass) const;
  FormatButton* FormatButtonFor(int formatClass, int code) const;
  QComboBox* PresetList(int formatClass, int code) const;
  const FormatSelection& Model() const { return model_; }

 signals:
  // ButtonSelectDir was clicked; the wizard shows the folder dialog.
  void SelectDirClicked();

 private:
  void Build(QWidget* page);
  // Model to controls: marked buttons, shown page, lists in front.
  void ShowMarks();
  // The lists' selected indices, model to controls and back.
  void ShowPresetIndices();
  void TakeControlsIntoModel();

  FormatSelection model_;
  QLineEdit* editOutputDir_ = nullptr;
  QPushButton* buttonSelectDir_ = nullptr;
  QLabel* labelConvertTo_ = nullptr;
  QStackedWidget* pageControl_ = nullptr;
  std::array<QWidget*, kFormatClassCount> pages_{};
  std::array<FormatButton*, kFormatClassCount> classButtons_{};
  std::array<FormatButton*, kFormatCount> formatButtons_{};
  std::array<QComboBox*, kFormatCount> presetLists_{};
};

}  // namespace convert
