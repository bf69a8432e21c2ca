#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <initializer_list>

#include "appcore/Palette.h"
#include "convert/FormatButton.h"
#include "convert/FormatPicker.h"

namespace convert {
namespace {

OfferedFormats Offer(std::initializer_list<const char*> names) {
  OfferedFormats offered{};
  for (const char* name : names) {
    const FormatInfo* format = FindFormatByName(name);
    offered[CatalogueIndex(format->formatClass, format->code)] = true;
  }
  return offered;
}

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

// The step-2 page of the wizard, shown offscreen with the picker on it.
class FormatPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.setObjectName("TabSheetStep2");
    page.resize(553, 426);
    page.setAutoFillBackground(true);
    QPalette pal = page.palette();
    pal.setColor(QPalette::Window, Colour(palette::kWindow));
    page.setPalette(pal);
    settings.OutputFileDir = "/home/user/Documents/";
    picker = new FormatPicker(&page, settings);
    picker->FillPresetLists();
  }

  void Show(const OfferedFormats& offered = AllFormatsOffered()) {
    picker->ApplyOfferedFormats(offered);
    picker->ShowSelection();
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = page.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  // The widget a user sees at the centre of `w`, in page coordinates.
  QWidget* TopmostAtCentreOf(QWidget* w) {
    return page.childAt(w->mapTo(&page, w->rect().center()));
  }

  QWidget page;
  app::AppSettings settings;
  FormatPicker* picker = nullptr;  // owned by the page
};

TEST_F(FormatPickerTest, BuildsTheNamedControlsWhereTheWizardExpectsThem) {
  Show();
  EXPECT_EQ(Child<QLabel>("LabelOutputDir")->text(), "输出目录：");
  EXPECT_EQ(Child<QLabel>("LabelOutputDir")->pos(), QPoint(12, 16));
  EXPECT_EQ(Child<QLineEdit>("EditOutputDir")->pos(), QPoint(100, 12));
  EXPECT_EQ(Child<QLineEdit>("EditOutputDir")->text(), "/home/user/Documents/");
  auto* select = Child<QPushButton>("ButtonSelectDir");
  EXPECT_EQ(select->text(), "选择");
  EXPECT_GT(select->x(), Child<QLineEdit>("EditOutputDir")->geometry().right());
  EXPECT_LE(select->geometry().right(), 553);
  EXPECT_EQ(Child<QLabel>("LabelConvertTo")->text(), "转换为：");
  EXPECT_EQ(Child<QLabel>("LabelConvertTo")->pos(), QPoint(12, 110));

  auto* pages = Child<QStackedWidget>("RzPageControlToFormat");
  EXPECT_EQ(pages->geometry(), QRect(12, 172, 531, 240));
  EXPECT_EQ(pages->contentsRect().width(), kClassPageWidth);
  const char* pageNames[] = {"TabSheetToFormatVideo", "TabSheetToFormatDevice",
                             "TabSheetToFormatAudio"};
  const char* classNames[][2] = {{"ButtonToFormatVideo", "视频"},
                                 {"ButtonToFormatDevice", "设备"},
                                 {"ButtonToFormatAudio", "音频"}};
  for (int c = 0; c < kFormatClassCount; ++c) {
    EXPECT_EQ(pages->widget(c)->objectName(), pageNames[c]);
    auto* classButton = Child<FormatButton>(classNames[c][0]);
    EXPECT_EQ(classButton->text(), classNames[c][1]);
    EXPECT_EQ(classButton->geometry(), QRect(18 + 171 * c, 135, 171, 32));
  }
  for (const FormatInfo& format : Catalogue()) {
    SCOPED_TRACE(std::string(format.name));
    auto* button = Child<FormatButton>(std::string(format.buttonName).c_str());
    auto* list = Child<QComboBox>(format.PresetListName().c_str());
    ASSERT_TRUE(button && list);
    EXPECT_EQ(button->size(), QSize(62, 57));
    EXPECT_EQ(button->text(), QString::fromUtf8(format.name.data(), format.name.size()));
    EXPECT_EQ(button->parentWidget(), pages->widget(format.formatClass));
    EXPECT_EQ(list->parentWidget(), pages->widget(format.formatClass));
    EXPECT_EQ(list->count(), format.PresetCount());
    // Lists of a class lie on top of each other, under the buttons.
    EXPECT_EQ(list->geometry(), picker->PresetList(format.formatClass, 0)->geometry());
    EXPECT_GE(list->y(), 5 + 2 * 60);
    EXPECT_LE(list->geometry().bottom(), pages->contentsRect().height());
  }
  EXPECT_EQ(Child<QComboBox>("ImageComboBoxRMPresets")->itemText(3),
            "RM - 低质量  - (256 kbps, 原始)");
  EXPECT_EQ(Child<QComboBox>("ImageComboBoxiPodPresets")->itemText(1).back(), ' ');
}

TEST_F(FormatPickerTest, AClassButtonClickShowsItsPageAndDisablesItself) {
  Show();
  auto* pages = Child<QStackedWidget>("RzPageControlToFormat");
  EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheetToFormatVideo");
  EXPECT_FALSE(picker->ClassButton(fcVideo)->isEnabled());

  const char* order[][2] = {{"ButtonToFormatDevice", "TabSheetToFormatDevice"},
                            {"ButtonToFormatAudio", "TabSheetToFormatAudio"},
                            {"ButtonToFormatVideo", "TabSheetToFormatVideo"}};
  for (int step = 0; step < 3; ++step) {
    const int clicked = (step + 1) % 3;
    QTest::mouseClick(Child<FormatButton>(order[step][0]), Qt::LeftButton);
    EXPECT_EQ(pages->currentWidget()->objectName(), order[step][1]);
    EXPECT_EQ(settings.OutputFormatClass, clicked);
    for (int c = 0; c < kFormatClassCount; ++c) {
      EXPECT_EQ(picker->ClassButton(c)->isEnabled(), c != clicked) << step << " " << c;
    }
  }
}

TEST_F(FormatPickerTest, AFormatButtonClickMarksItRaisesItsListAndStoresIt) {
  settings.OutputFormatClass = fcAudio;
  Show();
  EXPECT_EQ(TopmostAtCentreOf(picker->PresetList(fcAudio, afWAV)),
            picker->PresetList(fcAudio, afWAV));
  // A choice made in one list survives clicks on other formats (it is read on Next).
  picker->PresetList(fcAudio, afMP3)->setCurrentIndex(0);

  for (int code : {afOGG, afFLAC, afMP3, afWAV}) {
    SCOPED_TRACE(code);
    QTest::mouseClick(picker->FormatButtonFor(fcAudio, code), Qt::LeftButton);
    EXPECT_EQ(settings.OutputAudioFormat, code);
    for (int other = 0; other < FormatCount(fcAudio); ++other) {
      EXPECT_EQ(picker->FormatButtonFor(fcAudio, other)->isEnabled(), other != code) << other;
    }
    QComboBox* list = picker->PresetList(fcAudio, code);
    EXPECT_EQ(TopmostAtCentreOf(list), list);
  }
  EXPECT_EQ(picker->PresetList(fcAudio, afMP3)->currentIndex(), 0);
  EXPECT_EQ(settings.OutputMP3Preset, 2);
  // The other classes keep their own marks and the class stays.
  EXPECT_FALSE(picker->FormatButtonFor(fcVideo, vfAVI)->isEnabled());
  EXPECT_FALSE(picker->FormatButtonFor(fcDevice, dfiPod)->isEnabled());
  EXPECT_EQ(settings.OutputFormatClass, fcAudio);

  // The current choice is disabled: clicking it again changes nothing.
  QTest::mouseClick(picker->FormatButtonFor(fcAudio, afWAV), Qt::LeftButton);
  EXPECT_EQ(settings.OutputAudioFormat, afWAV);
}

TEST_F(FormatPickerTest, NextReadsTheListsAndTheTypedFolder) {
  settings.OutputAVIPreset = 40;
  settings.OutputWMVPreset = 16;
  Show();
  QComboBox* avi = picker->PresetList(fcVideo, vfAVI);
  EXPECT_EQ(avi->currentIndex(), -1);
  EXPECT_EQ(avi->currentText(), "");
  EXPECT_EQ(picker->PresetList(fcVideo, vfWMV)->currentText(), "Windows媒体视频9标准质量");

  picker->PresetList(fcVideo, vfWMV)->setCurrentIndex(3);
  QLineEdit* edit = picker->OutputDirEdit();
  edit->clear();
  QTest::keyClicks(edit, "/tmp/out ");
  edit->insert("转换");  // typed through an input method
  picker->ReadSelection();
  EXPECT_EQ(settings.OutputAVIPreset, -1);
  EXPECT_EQ(settings.OutputWMVPreset, 3);
  EXPECT_EQ(settings.OutputFileDir, "/tmp/out 转换/");

  // Entering step 2 again shows what was stored, the no-selection included.
  picker->PresetList(fcVideo, vfWMV)->setCurrentIndex(5);
  picker->ShowSelection();
  EXPECT_EQ(picker->PresetList(fcVideo, vfWMV)->currentIndex(), 3);
  EXPECT_EQ(avi->currentIndex(), -1);
  EXPECT_EQ(edit->text(), "/tmp/out 转换/");
}

// A settings file edited by hand or left by another build: nothing matches, nothing breaks.
TEST_F(FormatPickerTest, GarbageSettingsShowNoChoiceAndReadBackAsNoChoice) {
  settings.OutputFormatClass = 255;
  settings.OutputVideoFormat = 255;
  settings.OutputDeviceFormat = 8;
  settings.OutputAudioFormat = 200;
  for (const FormatInfo& format : Catalogue()) settings.*format.presetField = INT32_MIN;
  settings.OutputMP4Preset = INT32_MAX;
  settings.OutputFileDir = "";
  Show();
  for (int c = 0; c < kFormatClassCount; ++c) EXPECT_TRUE(picker->ClassButton(c)->isEnabled());
  for (QWidget* button : page.findChildren<FormatButton*>()) {
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
  }
  for (QComboBox* list : page.findChildren<QComboBox*>()) {
    EXPECT_EQ(list->currentIndex(), -1) << list->objectName().toStdString();
  }
  EXPECT_EQ(OutputExtension(settings), "");
  picker->ReadSelection();
  for (const FormatInfo& format : Catalogue()) EXPECT_EQ(settings.*format.presetField, -1);
  EXPECT_EQ(settings.OutputFileDir, "/");
  // A click still works from there.
  QTest::mouseClick(picker->ClassButton(fcAudio), Qt::LeftButton);
  QTest::mouseClick(picker->FormatButtonFor(fcAudio, afAAC), Qt::LeftButton);
  EXPECT_EQ(OutputExtension(settings), ".aac");
}

TEST_F(FormatPickerTest, OnlyAudioOfferedHidesTheClassButtonsAndMovesThePageUp) {
  settings.OutputFormatClass = fcAudio;
  Show(Offer({"WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2"}));
  auto* pages = Child<QStackedWidget>("RzPageControlToFormat");
  EXPECT_EQ(pages->y(), 120);
  EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheetToFormatAudio");
  for (int c = 0; c < kFormatClassCount; ++c) EXPECT_FALSE(picker->ClassButton(c)->isVisible());
  for (const FormatInfo& format : Catalogue()) {
    QWidget* button = picker->FormatButtonFor(format.formatClass, format.code);
    EXPECT_EQ(button->isHidden(), format.formatClass != fcAudio) << format.name;
  }
  EXPECT_EQ(picker->FormatButtonFor(fcAudio, afMP2)->pos(), QPoint(458, 5));
  auto* label = Child<QLabel>("LabelConvertTo");
  EXPECT_TRUE(label->isVisible());
  EXPECT_LT(label->geometry().bottom(), pages->y());  // not cut by the page's frame
  EXPECT_GT(label->y(), Child<QLineEdit>("EditOutputDir")->geometry().bottom());

  // The same edition given all formats again shows the class buttons again.
  picker->ApplyOfferedFormats(AllFormatsOffered());
  EXPECT_EQ(pages->y(), 172);
  EXPECT_EQ(label->pos(), QPoint(12, 110));
  for (int c = 0; c < kFormatClassCount; ++c) EXPECT_TRUE(picker->ClassButton(c)->isVisible());
}

TEST_F(FormatPickerTest, AVIAnd3GPSitSideBySideAndAHiddenCurrentFormatStillRaisesItsList) {
  settings.OutputVideoFormat = vfMOV;
  Show(Offer({"AVI", "3GP"}));
  EXPECT_EQ(picker->FormatButtonFor(fcVideo, vfAVI)->pos(), QPoint(10, 5));
  EXPECT_EQ(picker->FormatButtonFor(fcVideo, vf3GP)->pos(), QPoint(74, 5));
  EXPECT_TRUE(picker->FormatButtonFor(fcVideo, vfMOV)->isHidden());
  QComboBox* mov = picker->PresetList(fcVideo, vfMOV);
  EXPECT_EQ(TopmostAtCentreOf(mov), mov);
  EXPECT_EQ(mov->currentIndex(), 7);
  EXPECT_TRUE(picker->FormatButtonFor(fcVideo, vfAVI)->isEnabled());
  EXPECT_TRUE(picker->FormatButtonFor(fcVideo, vf3GP)->isEnabled());
}

TEST_F(FormatPickerTest, NothingOfferedLeavesAnEmptyPageBelowTheClassRow) {
  Show(OfferedFormats{});
  EXPECT_EQ(Child<QStackedWidget>("RzPageControlToFormat")->y(), 172);
  for (int c = 0; c < kFormatClassCount; ++c) EXPECT_FALSE(picker->ClassButton(c)->isVisible());
  for (QWidget* button : page.findChildren<FormatButton*>()) EXPECT_FALSE(button->isVisible());
}

TEST_F(FormatPickerTest, TheFolderButtonAsksTheWizardAndTheAnswerIsStoredAtOnce) {
  Show();
  QSignalSpy spy(picker, &FormatPicker::SelectDirClicked);
  QTest::mouseClick(Child<QPushButton>("ButtonSelectDir"), Qt::LeftButton);
  EXPECT_EQ(spy.count(), 1);
  picker->SetChosenOutputDir("/media/usb");
  EXPECT_EQ(picker->OutputDirEdit()->text(), "/media/usb/");
  EXPECT_EQ(settings.OutputFileDir, "/media/usb/");
  picker->SetChosenOutputDir("/media/usb/");
  EXPECT_EQ(settings.OutputFileDir, "/media/usb/");
}

TEST_F(FormatPickerTest, FillingTheListsTwiceDoesNotDoubleThem) {
  Show();
  picker->PresetList(fcDevice, dfPSP)->setCurrentIndex(2);
  picker->FillPresetLists();
  EXPECT_EQ(picker->PresetList(fcVideo, vfAVI)->count(), 29);
  EXPECT_EQ(picker->PresetList(fcDevice, dfPSP)->currentIndex(), 2);
}

// The four looks are told apart by their fill: white card, light tint, stronger tint, accent.
TEST_F(FormatPickerTest, ButtonsDrawTheirFourLooks) {
  Show();
  FormatButton* flv = picker->FormatButtonFor(fcVideo, vfFLV);
  auto fillOf = [](FormatButton* button) {
    return button->grab().toImage().pixelColor(4, button->height() - 5);
  };
  EXPECT_EQ(flv->CurrentLook(), FormatButton::Look::Normal);
  const QColor normal = fillOf(flv);
  EXPECT_EQ(normal, Colour(palette::kPanel));

  QTest::mousePress(flv, Qt::LeftButton);
  EXPECT_EQ(flv->CurrentLook(), FormatButton::Look::Pressed);
  const QColor pressed = fillOf(flv);
  QTest::mouseRelease(flv, Qt::LeftButton);

  EXPECT_EQ(flv->CurrentLook(), FormatButton::Look::Current);  // the click chose it
  const QColor current = fillOf(flv);
  EXPECT_EQ(current, Colour(palette::kAccent));

  FormatButton* swf = picker->FormatButtonFor(fcVideo, vfSWF);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(swf, &enter);
  EXPECT_EQ(swf->CurrentLook(), FormatButton::Look::Hover);
  const QColor hover = fillOf(swf);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(swf, &leave);
  EXPECT_EQ(swf->CurrentLook(), FormatButton::Look::Normal);

  EXPECT_NE(hover, normal);
  EXPECT_NE(pressed, hover);
  EXPECT_NE(pressed, normal);
  EXPECT_NE(pressed, current);
  // Both tints are bluish and the pressed one is the deeper.
  EXPECT_GT(hover.blue(), hover.red());
  EXPECT_LT(pressed.red(), hover.red());
}

// Saves the whole step-2 page (all formats, device class current) for a look by eye and
// checks that the marked buttons really show in the accent colour on the picture.
TEST_F(FormatPickerTest, PageGrabShowsTheCurrentChoices) {
  settings.OutputFormatClass = fcDevice;
  settings.OutputDeviceFormat = dfiPhone;
  Show();
  const QImage image = page.grab().toImage();
  const QString dir = qEnvironmentVariableIsEmpty("WIZCONV_TEST_TMP")
                          ? QDir::tempPath()
                          : qEnvironmentVariable("WIZCONV_TEST_TMP");
  QDir().mkpath(dir);
  EXPECT_TRUE(image.save(dir + "/format-picker-step2.png"));

  auto pixelAt = [&](QWidget* w, QPoint offset) {
    return image.pixelColor(w->mapTo(&page, offset));
  };
  FormatButton* iphone = picker->FormatButtonFor(fcDevice, dfiPhone);
  FormatButton* ipod = picker->FormatButtonFor(fcDevice, dfiPod);
  EXPECT_EQ(pixelAt(iphone, QPoint(4, 52)), Colour(palette::kAccent));
  EXPECT_EQ(pixelAt(ipod, QPoint(4, 52)), Colour(palette::kPanel));
  EXPECT_EQ(pixelAt(picker->ClassButton(fcDevice), QPoint(6, 26)), Colour(palette::kAccent));
  EXPECT_EQ(pixelAt(picker->ClassButton(fcAudio), QPoint(6, 26)), Colour(palette::kPanel));
}

}  // namespace
}  // namespace convert
