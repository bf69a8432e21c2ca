// The grid of step 1 over a task list: the model's consistency through every change, the
// slide's drawing, dragging rows and double clicks.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "MediaFiles.h"
#include "convert/FileGrid.h"
#include "decoder/FFDecoder.h"
#include "enginebase/LibraryBinding.h"

namespace convert {
namespace {

void addNamed(TaskList& tasks, const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    ProbeOutcome o;
    o.Opened = true;
    o.Facts.Path = p;
    tasks.AddProbed(o);
  }
}

std::vector<std::string> order(const TaskList& tasks) { return tasks.FilePaths(); }

TEST(FileGridModel, StaysConsistentThroughInsertsMovesAndRemovals) {
  TaskList tasks;
  FileGridModel model(tasks);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  addNamed(tasks, {"/a.mp4", "/b.mp4", "/c.mp4", "/d.mp4"});
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.columnCount(), 17);
  tasks.Move(0, 3);
  tasks.Move(2, 0);
  tasks.MoveDown(1);
  tasks.MoveUp(3);
  EXPECT_EQ(order(tasks), (std::vector<std::string>{"/d.mp4", "/c.mp4", "/a.mp4", "/b.mp4"}));
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(model.index(r, kColumnFileFullName).data().toString().toStdString(), order(tasks)[r]);
  }
  tasks.Delete(1);
  tasks.Clear();
  EXPECT_EQ(model.rowCount(), 0);
  // Columns by name, and every column is data of the model.
  EXPECT_EQ(model.headerData(kColumnRealDuration, Qt::Horizontal, Qt::DisplayRole).toString(),
            "RealDuration");
}

class FileGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
    grid_ = std::make_unique<FileGrid>(tasks_);
    grid_->resize(553, 384);
    grid_->show();
  }
  void addMedia(const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(testsupport::Media(n));
    tasks_.AddFiles(decoder_, paths);
  }
  QImage render() {
    QImage image(grid_->viewport()->size(), QImage::Format_RGB32);
    grid_->viewport()->render(&image);
    return image;
  }
  // The viewport point in row r at (x, y) of its slide.
  QPoint at(int r, int x, int y) {
    return grid_->visualRect(grid_->Model()->index(r, 0)).topLeft() + QPoint(x, y);
  }

  engine::TFFDecoder decoder_;
  TaskList tasks_;
  std::unique_ptr<FileGrid> grid_;
};

TEST_F(FileGridTest, SlidesAreNinetyHighWithTheThumbnailTextsAndColours) {
  addMedia({"redblue.mp4", "audio.mp3"});
  ASSERT_EQ(grid_->Model()->rowCount(), 2);
  EXPECT_EQ(grid_->visualRect(grid_->Model()->index(0, 0)).height(), 90);
  EXPECT_EQ(grid_->visualRect(grid_->Model()->index(1, 0)).top(), 90);
  QImage image = render();
  // The thumbnail (blue from half the duration) fills the middle of the 128 x 88 area; the
  // slide's background is white beside it.
  EXPECT_EQ(QColor(image.pixel(at(0, 64, 44))).blue() > 200 &&
                QColor(image.pixel(at(0, 64, 44))).red() < 60,
            true)
      << QColor(image.pixel(at(0, 64, 44))).name().toStdString();
  EXPECT_EQ(QColor(image.pixel(at(0, 3, 44))), QColor(Qt::white)) << "117 wide, centred";
  // Grid line under each slide.
  EXPECT_EQ(QColor(image.pixel(at(0, 300, 89))), QColor(204, 218, 241));
  // Ink on the name line and on each of the three lines, none between them.
  auto inked = [&](int row, int top, int height) {
    for (int y = top; y < top + height; ++y)
      for (int x = 136; x < 420; ++x)
        if (QColor(image.pixel(at(row, x, y))).lightness() < 128) return true;
    return false;
  };
  EXPECT_TRUE(inked(0, 0, 18));
  EXPECT_TRUE(inked(0, 33, 16));
  EXPECT_TRUE(inked(0, 49, 16));
  EXPECT_TRUE(inked(0, 65, 16));
  EXPECT_FALSE(inked(0, 20, 12)) << "nothing between the name and the first line";
  // The audio file shows the audio picture, not an empty area.
  EXPECT_TRUE(grid_->Model()->index(1, 0).data(Qt::DecorationRole).value<QImage>().width() > 0);

  // Selected with focus: the dark selection colour and white text; without focus the light one.
  grid_->SelectRow(0);
  grid_->activateWindow();
  grid_->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(grid_.get()));
  image = render();
  EXPECT_EQ(QColor(image.pixel(at(0, 500, 25))), QColor(10, 36, 106));
  grid_->clearFocus();
  auto* other = new QWidget;
  other->show();
  other->activateWindow();
  // Whether the platform reports the activation does not matter: the colours below do.
  (void)QTest::qWaitForWindowActive(other);
  image = render();
  EXPECT_EQ(QColor(image.pixel(at(0, 500, 25))), QColor(204, 218, 241));
  delete other;
}

TEST_F(FileGridTest, LongNamesAreShortenedInTheGridsFont) {
  const std::string deep = "/" + std::string(60, 'f') + "/" + std::string(40, 'g') + "/clip.mp4";
  addNamed(tasks_, {deep, "/short.mp4"});
  const std::string shown = tasks_.Text(0, kColumnFileMinName);
  EXPECT_EQ(shown, "/.../clip.mp4");
  EXPECT_LE(QFontMetrics(grid_->font()).horizontalAdvance(QString::fromStdString(shown)), 255);
  EXPECT_EQ(tasks_.Text(1, kColumnFileMinName), "/short.mp4");
  EXPECT_EQ(tasks_.Text(0, kColumnFileFullName), deep);
  EXPECT_EQ(grid_->Model()->index(0, 0).data(Qt::ToolTipRole).toString().toStdString(), deep)
      << "the hint tells the whole path";
}

TEST_F(FileGridTest, DraggingARowMovesItAndKeepsItSelected) {
  addNamed(tasks_, {"/a.mp4", "/b.mp4", "/c.mp4"});
  QSignalSpy dragged(grid_.get(), &FileGrid::RowDragged);
  QWidget* vp = grid_->viewport();
  auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, vp->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(vp, &e);
  };
  send(QEvent::MouseButtonPress, at(0, 200, 40), Qt::LeftButton);
  send(QEvent::MouseMove, at(1, 200, 40), Qt::LeftButton);
  send(QEvent::MouseMove, at(2, 200, 40), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, at(2, 200, 40), Qt::NoButton);
  EXPECT_EQ(order(tasks_), (std::vector<std::string>{"/b.mp4", "/c.mp4", "/a.mp4"}));
  EXPECT_EQ(grid_->SelectedRow(), 2);
  ASSERT_EQ(dragged.count(), 1);
  EXPECT_EQ(dragged.at(0).at(0).toInt(), 0);
  EXPECT_EQ(dragged.at(0).at(1).toInt(), 2);

  // A click without a drag only selects.
  QTest::mouseClick(vp, Qt::LeftButton, {}, at(1, 200, 40));
  EXPECT_EQ(grid_->SelectedRow(), 1);
  EXPECT_EQ(order(tasks_), (std::vector<std::string>{"/b.mp4", "/c.mp4", "/a.mp4"}));
  EXPECT_EQ(dragged.count(), 1);
}

TEST_F(FileGridTest, DoubleClickAsksToPlayThatRow) {
  addNamed(tasks_, {"/a.mp4", "/b.mp4"});
  QSignalSpy play(grid_.get(), &FileGrid::PlayRequested);
  QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, at(1, 50, 50));
  ASSERT_EQ(play.count(), 1);
  EXPECT_EQ(play.at(0).at(0).toInt(), 1);
  EXPECT_EQ(grid_->SelectedRow(), 1);
  // Below the last row there is nothing to play.
  QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, QPoint(50, 300));
  EXPECT_EQ(play.count(), 1);
}

}  // namespace
}  // namespace convert
