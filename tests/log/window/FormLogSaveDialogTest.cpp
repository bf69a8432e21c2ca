// The real save-file dialog behind the Save button, driven while it is open.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FormLogFixture.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using logwindow::TFormLog;
using logwindowtest::Button;
using logwindowtest::Click;
using logwindowtest::ShowAndWait;

namespace {

// Runs each step while a modal window is on top, in order, until the step says it is
// done; the steps run inside the Save button's dialog loop. Gives up after a few seconds
// so that a dialog that never appears fails the test instead of hanging it.
class ModalScript {
 public:
  using Step = std::function<bool(QWidget* modal)>;  // true when the step is done
  explicit ModalScript(std::vector<Step> steps) : steps_(std::move(steps)) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  bool finished() const { return next_ == steps_.size(); }

 private:
  void Tick() {
    if (finished() || ++ticks_ > 250) {
      timer_.stop();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && steps_[next_](modal)) ++next_;
  }
  std::vector<Step> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
  QTimer timer_;
};

// Types `name` into the open save dialog showing `folder` and accepts once the dialog
// holds `expected`. The dialog reads its folder in the background and may reset the name
// field meanwhile, so the step repeats until the dialog really holds the wanted path.
ModalScript::Step ChooseInFileDialog(const fs::path& folder, const QString& name,
                                     const fs::path& expected, QStringList* filters = nullptr) {
  return [=](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || !dialog->isVisible()) return false;
    if (filters) *filters = dialog->nameFilters();
    const QString wantedFolder = QString::fromStdString(folder.string());
    if (dialog->directory().absolutePath() != wantedFolder) {
      dialog->setDirectory(wantedFolder);
      return false;
    }
    if (dialog->selectedFiles() != QStringList{QString::fromStdString(expected.string())}) {
      // Typed, as a person would, into the dialog's file name field.
      auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (edit) edit->setText(name);
      return false;
    }
    // accept() may ask about an existing file in a nested loop; let the timer answer that.
    QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
    return true;
  };
}

// Wraps the window's own chooser to see what it returned.
void RecordChoice(TFormLog& form, std::string* chosen) {
  auto original = form.ChooseSaveFileName;
  form.ChooseSaveFileName = [original, chosen] { return *chosen = original(); };
}

}  // namespace

TEST(FormLogSaveDialog, OffersLogFilesAndAddsTheLogSuffix) {
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  TFormLog form;
  form.AppendLine("保存");
  std::string chosen = "(not asked)";
  RecordChoice(form, &chosen);
  ShowAndWait(form);

  const fs::path expected = dir.path() / "run one.log";
  QStringList filters;
  ModalScript script({ChooseInFileDialog(dir.path(), "run one", expected, &filters)});
  Click(Button(form, "ButtonSave"));

  EXPECT_TRUE(script.finished());
  EXPECT_EQ(chosen, expected.string());
  EXPECT_EQ(filters, QStringList({"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*.*)"}));
  EXPECT_EQ(testsupport::ReadFile(expected), "保存\r\n");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FormLogSaveDialog, AsksBeforeOverwritingAndNoKeepsTheOldFile) {
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  const fs::path existing = dir.write("kept.log", "older run\r\n");
  TFormLog form;
  form.AppendLine("newer run");
  std::string chosen = "(not asked)";
  RecordChoice(form, &chosen);
  ShowAndWait(form);

  bool asked = false;
  ModalScript script({
      ChooseInFileDialog(dir.path(), "kept.log", existing),
      [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return false;
        asked = true;
        QAbstractButton* no = box->button(QMessageBox::No);
        EXPECT_NE(no, nullptr);
        no ? no->click() : box->reject();
        return true;
      },
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return false;
        dialog->reject();  // still open after No: the user gives up
        return true;
      },
  });
  Click(Button(form, "ButtonSave"));

  EXPECT_TRUE(script.finished());
  EXPECT_TRUE(asked);
  EXPECT_EQ(chosen, "");
  EXPECT_EQ(testsupport::ReadFile(existing), "older run\r\n");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FormLogSaveDialog, OpensInAnExistingFolderWithAnEmptyNameWhenDocumentsIsMissing) {
  // A home without a documents folder, as on a fresh minimal system.
  testsupport::TempDir home;
  const QByteArray oldHome = qgetenv("HOME");
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("HOME", QByteArray::fromStdString(home.str()));
  qunsetenv("XDG_CONFIG_HOME");

  testsupport::ScriptedMessages messages;
  TFormLog form;
  std::string chosen = "(not asked)";
  RecordChoice(form, &chosen);
  ShowAndWait(form);

  QString folder;
  QString name = "(not seen)";
  ModalScript script({[&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || !dialog->isVisible()) return false;
    folder = dialog->directory().absolutePath();
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name = edit ? edit->text() : QString("(no name field)");
    dialog->reject();
    return true;
  }});
  Click(Button(form, "ButtonSave"));

  qputenv("HOME", oldHome);
  if (!oldConfig.isEmpty()) qputenv("XDG_CONFIG_HOME", oldConfig);

  EXPECT_TRUE(script.finished());
  EXPECT_EQ(folder.toStdString(), home.str());
  EXPECT_EQ(name.toStdString(), "");
  EXPECT_EQ(chosen, "");
  EXPECT_TRUE(messages.shown.empty());
}
