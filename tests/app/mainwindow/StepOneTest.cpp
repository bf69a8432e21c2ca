// Step 1 clicked as a person does: the open dialog answered by typing, dropped files, the
// failed-file dialog, the row buttons, the popup menu and the shortcuts, on real media.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QPushButton>
#include <QFileDialog>
#include <QKeyEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "EditionFixture.h"
#include "MediaFiles.h"
#include "StepOneSupport.h"
#include "appcore/BusyCursor.h"
#include "convert/FileGrid.h"
#include "convert/FormFailedAddFile.h"

namespace fs = std::filesystem;
using app::TFormMain;
using app::WizardPage;
using mwtest::Edition;

namespace {

template <typename T = QWidget>
T* child(QObject* w, const char* name) {
  T* c = w->findChild<T*>(name);
  EXPECT_NE(c, nullptr) << name;
  return c;
}

void click(QObject* w, const char* name) {
  QTest::mouseClick(child<QWidget>(w, name), Qt::LeftButton);
}

// A window of an edition without the download branch: it starts on step 1.
struct StepOne {
  StepOne() {
    edition.Set("Download", "False");
    edition.WriteBranding();
    mwtest::LoadCodecs();
    app::MainWindowEnvironment env;
    env.appendLog = [this](const std::string& line) { log.push_back(line); };
    w = edition.Open(env);
    w->show();
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
    grid = child<convert::FileGrid>(w.get(), "FileGrid");
  }
  // A copy of a media fixture under a new name in the folder.
  std::string copy(const std::string& fixture, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(testsupport::Media(fixture), to);
    return to.string();
  }
  std::vector<convert::TFormFailedAddFile*> failedDialogs() const {
    std::vector<convert::TFormFailedAddFile*> shown;
    for (auto* d : w->findChildren<convert::TFormFailedAddFile*>())
      if (d->isVisible()) shown.push_back(d);
    return shown;
  }
  void selectRow(int row) {
    const QRect r = grid->visualRect(grid->Model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
  }
  bool enabled(const char* button) { return child<QWidget>(w.get(), button)->isEnabled(); }
  std::vector<std::string> rows() const { return w->Tasks().FilePaths(); }

  testsupport::ScriptedMessages messages;
  mwtest::LinkRecorder links;
  Edition edition;
  std::vector<std::string> log;
  std::unique_ptr<TFormMain> w;
  convert::FileGrid* grid = nullptr;
};

// Answers the open dialog once it is shown: `answer` gets the dialog.
void whenDialogShows(const std::function<void(QFileDialog*)>& answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    answer(dialog);
    // A test whose answer went wrong must not wait for a person.
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the open dialog is still open";
      dialog->reject();
    }
  });
  poll->start(20);
}

void type(QFileDialog* dialog, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  // Typed into the focused box, as a person does: the dialog follows the typing only there.
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  QTest::mouseClick(edit, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }, 2000));
  edit->clear();
  // One key event per character, so that characters beyond ASCII are typed too.
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(edit, &release);
  }
  ASSERT_EQ(edit->text(), text);
  // The dialog reads folders in the background: Open becomes available once it knows the
  // typed names. Then Open is clicked (Return could go to the name completion's list).
  auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(box, nullptr);
  QPushButton* open = box->button(QDialogButtonBox::Open);
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return open->isEnabled(); }, 5000)) << text.toStdString();
  if (edit->completer() && edit->completer()->popup()->isVisible())
    edit->completer()->popup()->hide();
  QTest::mouseClick(open, Qt::LeftButton);
}

}  // namespace

TEST(StepOne, OpenDialogTakesTypedFilesAndRemembersTheirFolder) {
  StepOne s;
  const fs::path folder = s.edition.root() / "我的 视频";
  const std::string first = s.copy("av.mp4", folder / "第一 clip.mp4");
  const std::string second = s.copy("audio.mp3", folder / "second one.mp3");
  ASSERT_EQ(s.w->Settings().LastOpenDir, s.edition.documents());

  QStringList filters;
  QString startDir;
  bool multiple = false, nonNative = false;
  whenDialogShows([&](QFileDialog* d) {
    filters = d->nameFilters();
    startDir = d->directory().absolutePath();
    multiple = d->fileMode() == QFileDialog::ExistingFiles;
    nonNative = d->testOption(QFileDialog::DontUseNativeDialog);
    type(d, QString::fromStdString(folder.string()));  // goes to the folder
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return d->directory().absolutePath().toStdString() == folder.string(); }, 5000));
    type(d, "\"第一 clip.mp4\" \"second one.mp3\"");
  });
  click(s.w.get(), "ButtonAdd");
  ASSERT_TRUE(mwtest::WaitFor([&] { return !s.w->AddingFiles(); }));
  EXPECT_EQ(s.rows(), (std::vector<std::string>{first, second}));
  EXPECT_EQ(startDir.toStdString(), s.edition.documents());
  EXPECT_TRUE(multiple);
  EXPECT_TRUE(nonNative);
  ASSERT_EQ(filters.size(), 4);
  EXPECT_EQ(filters[0].toStdString(),
            "所有支持格式 (*.AVI *.AVM *.ASF *.WMV *.AVS *.FLV *.MKV *.MOV *.3GP *.MP4 *.MPG "
            "*.MPEG *.DAT *.OGM *.VOB *.RM *.RMVB *.TS *.TP *.IFO *.NSV *.SWF *.WEBM *.MP3 *.AAC "
            "*.WAV *.WMA *.CDA *.FLAC *.M4A *.MID *.MKA *.MP2 *.MPA *.MPC *.APE *.OFR *.OGG *.RA "
            "*.WV *.TTA *.AC3 *.DTS)");
  EXPECT_TRUE(filters[1].startsWith("所有视频格式 (所有类型) (*.AVI "));
  EXPECT_TRUE(filters[2].startsWith("所有音频格式 (所有类型) (*.MP3 "));
  EXPECT_EQ(filters[3], "所有文件 (*.*)");
  EXPECT_EQ(s.w->Settings().LastOpenDir, folder.string() + "/");
  EXPECT_TRUE(s.failedDialogs().empty());

  // The next dialog (Ctrl+O) starts in that folder; cancelling it adds nothing.
  bool shown = false;
  whenDialogShows([&](QFileDialog* d) {
    shown = true;
    startDir = d->directory().absolutePath();
    d->reject();
  });
  s.w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(s.w.get()));
  QTest::keyClick(s.w.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(shown);
  EXPECT_EQ(startDir.toStdString(), folder.string());
  EXPECT_EQ(s.w->TaskCount(), 2);
  EXPECT_EQ(app::BusyCount(), 0);
}

TEST(StepOne, FilesThatFailComeInOneDialogOnceEverythingIsProbed) {
  StepOne s;
  const fs::path dir = s.edition.root() / "in";
  const std::string good = s.copy("av.mp4", dir / "good \"one\".mp4");
  fs::create_directories(dir);
  const std::string broken = (dir / "broken.mp4").string();
  std::ofstream(broken) << "this is no video";
  const std::string gone = (dir / "gone.mkv").string();
  s.w->AddFiles({broken, good, gone});
  EXPECT_TRUE(s.failedDialogs().empty()) << "not before the files are probed";
  ASSERT_TRUE(mwtest::WaitFor([&] { return !s.w->AddingFiles(); }));
  EXPECT_EQ(s.rows(), (std::vector<std::string>{good}));

  const auto dialogs = s.failedDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  convert::TFormFailedAddFile* d = dialogs[0];
  EXPECT_EQ(d->windowTitle().toStdString(), "添加文件失败");
  EXPECT_EQ(d->size(), QSize(425, 290));
  EXPECT_TRUE(d->isModal());
  EXPECT_EQ(d->x(), s.w->frameGeometry().left() + (s.w->frameGeometry().width() - 425) / 2);
  EXPECT_EQ(d->y(), s.w->frameGeometry().top() + (s.w->frameGeometry().height() - 290) / 2);
  EXPECT_EQ(child<QLabel>(d, "LabelText")->text().toStdString(),
            "无法添加下列文件。转换器可能不支持该文件类型或可能不支持用于压缩该文件的编解码器。"
            "点击“更多信息”查看受支持的文件类型和相关编解码器列表。");
  auto* list = child<QTreeWidget>(d, "ListViewFiles");
  EXPECT_EQ(list->headerItem()->text(0).toStdString(), "文件");
  EXPECT_EQ(list->columnWidth(0), 380);
  ASSERT_EQ(list->topLevelItemCount(), 2);
  const std::string reason0 = list->topLevelItem(0)->text(0).toStdString();
  const std::string reason1 = list->topLevelItem(1)->text(0).toStdString();
  EXPECT_NE(reason0.find(broken), std::string::npos) << reason0;
  EXPECT_NE(reason1.find(gone), std::string::npos) << reason1;
  // The log window has each reason too.
  EXPECT_EQ(s.log, (std::vector<std::string>{"文件加载错误:" + reason0, "文件加载错误:" + reason1}));

  EXPECT_EQ(child<QAbstractButton>(d, "ButtonMoreInfo")->text().toStdString(), "更多信息");
  click(d, "ButtonMoreInfo");
  EXPECT_EQ(s.links.links, (std::vector<std::string>{"https://help.invalid/support"}));
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(child<QAbstractButton>(d, "ButtonClose")->text().toStdString(), "关闭");
  click(d, "ButtonClose");
  EXPECT_TRUE(s.failedDialogs().empty());

  // An add where everything opens shows no dialog.
  mwtest::AddAndWait(*s.w, {testsupport::Media("audio.mp3")});
  EXPECT_TRUE(s.failedDialogs().empty());
  EXPECT_EQ(s.w->TaskCount(), 2);
}

TEST(StepOne, DroppedFoldersAndOtherFilesAreLeftOut) {
  StepOne s;
  const fs::path dir = s.edition.root() / "drop";
  fs::create_directories(dir / "a folder.mp4");
  std::ofstream(dir / "notes.txt") << "words";
  const std::string media = s.copy("audio.mp3", dir / "音乐 'quoted' \"name\".MP3");
  auto drop = [&](const std::vector<fs::path>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const fs::path& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p.string()));
    data->setUrls(urls);
    const QPoint at(200, 200);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.w.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.w.get(), &dropped);
    delete data;
  };
  drop({dir / "a folder.mp4", dir / "notes.txt"});
  EXPECT_FALSE(s.w->AddingFiles());
  mwtest::WaitFor([] { return false; }, 100);
  EXPECT_EQ(s.w->TaskCount(), 0);
  EXPECT_TRUE(s.failedDialogs().empty());
  EXPECT_EQ(app::BusyCount(), 0);

  drop({dir / "a folder.mp4", media, dir / "notes.txt"});
  ASSERT_TRUE(s.w->AddingFiles());
  EXPECT_EQ(app::BusyCount(), 1) << "the busy cursor while the files are probed";
  ASSERT_TRUE(mwtest::WaitFor([&] { return !s.w->AddingFiles(); }));
  EXPECT_EQ(s.rows(), (std::vector<std::string>{media}));
  EXPECT_EQ(app::BusyCount(), 0);
  EXPECT_TRUE(s.failedDialogs().empty());
}

TEST(StepOne, RowButtonsShortcutsAndMenuActOnTheSelectedRow) {
  StepOne s;
  const fs::path dir = s.edition.root() / "rows";
  const std::string a = s.copy("av.mp4", dir / "a.mp4");
  const std::string b = s.copy("audio.mp3", dir / "b.mp3");
  const std::string c = s.copy("video.mkv", dir / "c.mkv");
  // Nothing yet: only adding can be done.
  EXPECT_TRUE(s.enabled("ButtonAdd"));
  for (const char* name : {"ButtonDelete", "ButtonClear", "ButtonMoveUp", "ButtonMoveDown", "ButtonPlay"})
    EXPECT_FALSE(s.enabled(name)) << name;

  mwtest::AddAndWait(*s.w, {a, b, c});
  ASSERT_EQ(s.rows(), (std::vector<std::string>{a, b, c}));
  EXPECT_TRUE(s.enabled("ButtonClear"));
  EXPECT_FALSE(s.enabled("ButtonDelete")) << "no row is selected";

  s.selectRow(0);
  EXPECT_FALSE(s.enabled("ButtonMoveUp"));
  EXPECT_TRUE(s.enabled("ButtonMoveDown"));
  click(s.w.get(), "ButtonMoveDown");
  EXPECT_EQ(s.rows(), (std::vector<std::string>{b, a, c}));
  EXPECT_EQ(s.grid->SelectedRow(), 1);
  click(s.w.get(), "ButtonMoveDown");
  EXPECT_EQ(s.rows(), (std::vector<std::string>{b, c, a}));
  EXPECT_FALSE(s.enabled("ButtonMoveDown")) << "the last row";
  EXPECT_TRUE(s.enabled("ButtonMoveUp"));
  click(s.w.get(), "ButtonMoveUp");
  EXPECT_EQ(s.rows(), (std::vector<std::string>{b, a, c}));
  EXPECT_EQ(s.grid->SelectedRow(), 1);

  // Play and double click open the row's file with its program.
  click(s.w.get(), "ButtonPlay");
  QTest::keyClick(s.w.get(), Qt::Key_P, Qt::ControlModifier);
  const QRect third = s.grid->visualRect(s.grid->Model()->index(2, 0));
  QTest::mouseDClick(s.grid->viewport(), Qt::LeftButton, {}, third.center());
  const std::string urlA = QUrl::fromLocalFile(QString::fromStdString(a)).toString().toStdString();
  const std::string urlC = QUrl::fromLocalFile(QString::fromStdString(c)).toString().toStdString();
  EXPECT_EQ(s.links.links, (std::vector<std::string>{urlA, urlA, urlC}));
  EXPECT_EQ(s.grid->SelectedRow(), 2);

  // Delete (the key and the button): the row at the same place, or the new last one.
  s.selectRow(1);
  QTest::keyClick(s.w.get(), Qt::Key_Delete);
  EXPECT_EQ(s.rows(), (std::vector<std::string>{b, c}));
  EXPECT_EQ(s.grid->SelectedRow(), 1);
  click(s.w.get(), "ButtonDelete");
  EXPECT_EQ(s.rows(), (std::vector<std::string>{b}));
  EXPECT_EQ(s.grid->SelectedRow(), 0);
  click(s.w.get(), "ButtonDelete");
  EXPECT_TRUE(s.rows().empty());
  EXPECT_EQ(s.grid->SelectedRow(), -1) << "deleting the only row leaves no selection";
  EXPECT_FALSE(s.enabled("ButtonDelete"));
  EXPECT_FALSE(s.enabled("ButtonClear"));

  // The popup menu, in its order; Clear from it empties the grid.
  mwtest::AddAndWait(*s.w, {a, b});
  s.selectRow(0);
  QMenu* menu = child<QMenu>(s.w.get(), "PopupMenuFiles");
  emit s.grid->customContextMenuRequested(QPoint(20, 20));
  ASSERT_TRUE(menu->isVisible());
  std::vector<std::string> entries;
  for (QAction* act : menu->actions())
    entries.push_back(act->isSeparator() ? "-" : act->text().toStdString());
  EXPECT_EQ(entries, (std::vector<std::string>{"添加文件(&A)", "删除(&D)", "清除(&C)", "-",
                                               "上移(&M)", "下移(&O)", "-", "播放(&P)",
                                               "裁剪&&修剪(&R)"}));
  for (QAction* act : menu->actions()) {
    if (act->objectName() == "ActionCropTrim") {
      EXPECT_TRUE(act->isEnabled());
      act->trigger();  // does nothing
    }
  }
  EXPECT_EQ(s.w->TaskCount(), 2);
  for (QAction* act : menu->actions())
    if (act->objectName() == "ActionClear") act->trigger();
  menu->hide();
  EXPECT_EQ(s.w->TaskCount(), 0);

  // On another page the row actions are off, so their shortcuts do nothing there.
  mwtest::AddAndWait(*s.w, {a});
  s.selectRow(0);
  click(s.w.get(), "ButtonNext");
  ASSERT_EQ(s.w->CurrentPage(), WizardPage::Step2);
  QCoreApplication::processEvents();
  EXPECT_FALSE(child<QAction>(s.w.get(), "ActionDelete")->isEnabled());
  EXPECT_FALSE(child<QAction>(s.w.get(), "ActionAdd")->isEnabled());
  QTest::keyClick(s.w.get(), Qt::Key_Delete);
  EXPECT_EQ(s.w->TaskCount(), 1);
}

TEST(StepOne, GoingBackForgetsFilesStillBeingProbed) {
  StepOne s;
  std::vector<std::string> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(s.copy("av.mp4", s.edition.root() / "many" / (std::to_string(i) + ".mp4")));
  s.w->AddFiles(many);
  ASSERT_TRUE(mwtest::WaitFor([&] { return s.w->TaskCount() >= 1; }));
  s.w->ClearTasks();  // what going back to the start does
  EXPECT_FALSE(s.w->AddingFiles());
  EXPECT_EQ(app::BusyCount(), 0);
  mwtest::WaitFor([] { return false; }, 300);
  EXPECT_EQ(s.w->TaskCount(), 0) << "no row of the forgotten files arrives later";
}

TEST(StepOne, FilesOfTheCommandLineAreAddedAsIfDropped) {
  testsupport::ScriptedMessages messages;
  Edition edition;  // the download branch: the mode page comes first otherwise
  mwtest::LoadCodecs();
  auto w = edition.Open();
  w->show();
  const fs::path dir = edition.root() / "args";
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "readme.txt") << "words";
  const fs::path video = dir / "视频 one.mp4";
  fs::copy_file(testsupport::Media("av.mp4"), video);
  w->OpenFiles({(dir / "sub").string(), video.string(), (dir / "readme.txt").string()});
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
  ASSERT_TRUE(mwtest::WaitFor([&] { return !w->AddingFiles(); }));
  EXPECT_EQ(w->Tasks().FilePaths(), (std::vector<std::string>{video.string()}));
  EXPECT_TRUE(w->findChildren<convert::TFormFailedAddFile*>().empty());
}
