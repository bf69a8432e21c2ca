#include "convert/FormatPicker.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "appcore/FileNames.h"
#include "appcore/Palette.h"
#include "convert/FormatButton.h"

namespace convert {
namespace {

constexpr int kConvertToLeft = 12;
constexpr int kConvertToTop = 110;
constexpr int kPageControlLeft = 12;
constexpr int kPageControlWidth = 531;  // one-pixel frame around the 529 of a class page
constexpr int kPageControlHeight = 240;
constexpr int kFormatWidth = 62;
constexpr int kFormatHeight = 57;
constexpr int kClassWidth = 171;
constexpr int kClassHeight = 32;
// The preset row lies under the second row of format buttons.
constexpr int kPresetRowTop = 134;

const char* const kPageNames[kFormatClassCount] = {
    "TabSheetToFormatVideo", "TabSheetToFormatDevice", "TabSheetToFormatAudio"};
const char* const kClassButtonNames[kFormatClassCount] = {
    "ButtonToFormatVideo", "ButtonToFormatDevice", "ButtonToFormatAudio"};
const FormatButton::Glyph kGlyphs[kFormatClassCount] = {
    FormatButton::Glyph::Video, FormatButton::Glyph::Device, FormatButton::Glyph::Audio};

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

QString QStr(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FormatPicker::FormatPicker(QWidget* step2Page, app::AppSettings& settings)
    : QObject(step2Page), model_(settings) {
  Build(step2Page);
  ApplyOfferedFormats(AllFormatsOffered());
  ShowMarks();
}

void FormatPicker::Build(QWidget* page) {
  auto* labelOutputDir = new QLabel(QStringLiteral("输出目录："), page);
  labelOutputDir->setObjectName("LabelOutputDir");
  labelOutputDir->move(12, 16);
  labelOutputDir->adjustSize();

  editOutputDir_ = new QLineEdit(page);
  editOutputDir_->setObjectName("EditOutputDir");
  editOutputDir_->setGeometry(100, 12, 340, 24);

  buttonSelectDir_ = new QPushButton(QStringLiteral("选择"), page);
  buttonSelectDir_->setObjectName("ButtonSelectDir");
  buttonSelectDir_->setGeometry(448, 11, 80, 26);
  connect(buttonSelectDir_, &QPushButton::clicked, this, &FormatPicker::SelectDirClicked);

  labelConvertTo_ = new QLabel(QStringLiteral("转换为："), page);
  labelConvertTo_->setObjectName("LabelConvertTo");
  labelConvertTo_->move(kConvertToLeft, kConvertToTop);
  labelConvertTo_->adjustSize();

  for (int c = 0; c < kFormatClassCount; ++c) {
    auto* button =
        new FormatButton(QStr(ClassCaption(c)), kGlyphs[c], FormatButton::Shape::Tab, page);
    button->setObjectName(kClassButtonNames[c]);
    button->resize(kClassWidth, kClassHeight);
    connect(button, &FormatButton::clicked, this, [this, c] { SelectClass(c); });
    classButtons_[c] = button;
  }

  pageControl_ = new QStackedWidget(page);
  pageControl_->setObjectName("RzPageControlToFormat");
  pageControl_->setGeometry(kPageControlLeft, kPageControlTopWithClasses, kPageControlWidth,
                            kPageControlHeight);
  pageControl_->setFrameStyle(QFrame::Box | QFrame::Plain);
  pageControl_->setLineWidth(1);
  pageControl_->setAutoFillBackground(true);
  QPalette framePalette = pageControl_->palette();
  framePalette.setColor(QPalette::WindowText, Colour(palette::kBorder));
  framePalette.setColor(QPalette::Window, Colour(palette::kPanel));
  pageControl_->setPalette(framePalette);

  for (int c = 0; c < kFormatClassCount; ++c) {
    auto* classPage = new QWidget;
    classPage->setObjectName(kPageNames[c]);
    // The frame's colour is the page control's text colour; the pages' texts keep theirs.
    QPalette pagePalette = framePalette;
    pagePalette.setColor(QPalette::WindowText, Colour(palette::kText));
    classPage->setPalette(pagePalette);
    classPage->setWindowTitle(QStr(ClassCaption(c)));  // the hidden tab's caption
    pageControl_->addWidget(classPage);
    pages_[c] = classPage;

    auto* labelPresets = new QLabel(QStringLiteral("预设："), classPage);
    labelPresets->setObjectName(QStringLiteral("LabelPresets%1").arg(c));
    labelPresets->setGeometry(10, kPresetRowTop, 48, 26);
    labelPresets->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }

  for (int i = 0; i < kFormatCount; ++i) {
    const FormatInfo& format = Catalogue()[i];
    QWidget* classPage = pages_[format.formatClass];
    auto* button = new FormatButton(QStr(format.name), kGlyphs[format.formatClass],
                                    FormatButton::Shape::Card, classPage);
    button->setObjectName(QStr(format.buttonName));
    button->resize(kFormatWidth, kFormatHeight);
    const int formatClass = format.formatClass;
    const int code = format.code;
    connect(button, &FormatButton::clicked, this,
            [this, formatClass, code] { SelectFormat(formatClass, code); });
    formatButtons_[i] = button;

    auto* list = new QComboBox(classPage);
    list->setObjectName(QString::fromStdString(format.PresetListName()));
    list->setGeometry(58, kPresetRowTop, kClassPageWidth - 58 - 10, 26);
    list->setMaxVisibleItems(15);
    presetLists_[i] = list;
  }
}

void FormatPicker::FillPresetLists() {
  for (int i = 0; i < kFormatCount; ++i) {
    QComboBox* list = presetLists_[i];
    const int selected = list->currentIndex();
    list->clear();
    for (const std::string_view text : Catalogue()[i].presets) list->addItem(QStr(text));
    list->setCurrentIndex(selected < list->count() ? selected : -1);
  }
}

void FormatPicker::ApplyOfferedFormats(const OfferedFormats& offered) {
  const FormatLayout& layout = model_.ApplyOfferedFormats(offered);
  for (int i = 0; i < kFormatCount; ++i) {
    const ButtonPlacement& placement = layout.formatButtons[i];
    if (placement.visible) formatButtons_[i]->move(placement.slot.left, placement.slot.top);
    formatButtons_[i]->setVisible(placement.visible);
  }
  for (int c = 0; c < kFormatClassCount; ++c) {
    const ButtonPlacement& placement = layout.classButtons[c];
    if (placement.visible) classButtons_[c]->move(placement.slot.left, placement.slot.top);
    classButtons_[c]->setVisible(placement.visible);
  }
  pageControl_->move(kPageControlLeft, layout.pageControlTop);
  // Without class buttons the page control moves up to where the label's text runs; the
  // label then sits just above it instead of being cut by its frame.
  const int labelBottom = kConvertToTop + labelConvertTo_->height();
  labelConvertTo_->move(kConvertToLeft,
                        labelBottom < layout.pageControlTop
                            ? kConvertToTop
                            : layout.pageControlTop - labelConvertTo_->height() - 2);
}

void FormatPicker::SelectClass(int formatClass) {
  model_.SelectClass(formatClass);
  ShowMarks();
}

void FormatPicker::SelectFormat(int formatClass, int code) {
  model_.SelectFormat(formatClass, code);
  ShowMarks();
}

void FormatPicker::ShowSelection() {
  model_.ShowSelection();
  editOutputDir_->setText(QString::fromStdString(model_.View().outputDir));
  ShowMarks();
  ShowPresetIndices();
}

void FormatPicker::ReadSelection() {
  TakeControlsIntoModel();
  model_.ReadSelection();
}

void FormatPicker::SetChosenOutputDir(const QString& folder) {
  const std::string text = app::WithTrailingSeparator(folder.toStdString());
  editOutputDir_->setText(QString::fromStdString(text));
  model_.MutableView().outputDir = text;
  model_.Settings().OutputFileDir = text;
}

FormatButton* FormatPicker::ClassButton(int formatClass) const {
  return formatClass >= 0 && formatClass < kFormatClassCount ? classButtons_[formatClass] : nullptr;
}

FormatButton* FormatPicker::FormatButtonFor(int formatClass, int code) const {
  const int index = CatalogueIndex(formatClass, code);
  return index < 0 ? nullptr : formatButtons_[index];
}

QComboBox* FormatPicker::PresetList(int formatClass, int code) const {
  const int index = CatalogueIndex(formatClass, code);
  return index < 0 ? nullptr : presetLists_[index];
}

void FormatPicker::ShowMarks() {
  const SelectionView& view = model_.View();
  for (int c = 0; c < kFormatClassCount; ++c) {
    classButtons_[c]->setEnabled(c != view.disabledClass);
  }
  if (view.shownClass >= 0 && view.shownClass < kFormatClassCount) {
    pageControl_->setCurrentWidget(pages_[view.shownClass]);
  }
  for (int i = 0; i < kFormatCount; ++i) {
    const FormatInfo& format = Catalogue()[i];
    formatButtons_[i]->setEnabled(format.code != view.disabledFormat[format.formatClass]);
  }
  for (int c = 0; c < kFormatClassCount; ++c) {
    if (QComboBox* front = PresetList(c, view.frontList[c])) front->raise();
  }
}

void FormatPicker::ShowPresetIndices() {
  const SelectionView& view = model_.View();
  for (int i = 0; i < kFormatCount; ++i) presetLists_[i]->setCurrentIndex(view.presetIndex[i]);
}

void FormatPicker::TakeControlsIntoModel() {
  SelectionView& view = model_.MutableView();
  view.outputDir = editOutputDir_->text().toStdString();
  for (int i = 0; i < kFormatCount; ++i) view.presetIndex[i] = presetLists_[i]->currentIndex();
}

}  // namespace convert
