#include "download/QualityDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace download {
namespace {
QString q(const char* text) { return QString::fromUtf8(text); }
}  // namespace

TFormYouTubeHQ::TFormYouTubeHQ(QualityPreference& stored, QWidget* parent)
    : QDialog(parent), stored_(stored) {
  setObjectName("FormYouTubeHQ");
  setWindowTitle(q("YouTube高质量"));
  list_ = new QTreeWidget(this);
  list_->setObjectName("ListViewYouTubeHQ");
  list_->setHeaderLabels({q("类型"), q("格式"), q("视频"), q("音频")});
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setColumnWidth(0, 70);
  list_->setColumnWidth(1, 90);
  list_->setColumnWidth(2, 90);

  auto* buttons = new QVBoxLayout;
  auto button = [&](const char* name, const char* caption, void (TFormYouTubeHQ::*slot)()) {
    auto* b = new QPushButton(q(caption), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
    return b;
  };
  button("ButtonUp", "向上", &TFormYouTubeHQ::MoveUp);
  button("ButtonDown", "向下", &TFormYouTubeHQ::MoveDown);
  button("ButtonBestAvailable", "最佳可用", &TFormYouTubeHQ::UseBestAvailable);
  button("ButtonDefault", "默认", &TFormYouTubeHQ::UseDefault);
  buttons->addStretch();
  QPushButton* ok = button("ButtonOK", "确定", &TFormYouTubeHQ::StoreOrder);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  QPushButton* cancel = button("ButtonCancel", "取消", &TFormYouTubeHQ::reject);
  (void)cancel;
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(520, 260);
  Fill();
}

void TFormYouTubeHQ::Fill() {
  list_->clear();
  for (uint8_t number : stored_.Order) {
    if (number >= kQualityTable.size()) continue;
    const QualityRow& row = kQualityTable[number];
    list_->addTopLevelItem(
        new QTreeWidgetItem({q(row.shortName), q(row.format), q(row.video), q(row.audio)}));
  }
}

void TFormYouTubeHQ::Move(int delta) {
  QTreeWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) return;
  const int from = list_->indexOfTopLevelItem(item);
  const int to = from + delta;
  if (to < 0 || to >= list_->topLevelItemCount()) return;
  list_->takeTopLevelItem(from);
  list_->insertTopLevelItem(to, item);
  list_->setCurrentItem(item);
  item->setSelected(true);
  list_->scrollToItem(item);
  list_->setFocus();
}

void TFormYouTubeHQ::MoveUp() { Move(-1); }
void TFormYouTubeHQ::MoveDown() { Move(1); }

void TFormYouTubeHQ::UseDefault() {
  stored_.Order = kDefaultOrder;
  Fill();
}

void TFormYouTubeHQ::UseBestAvailable() {
  stored_.Order = kBestAvailableOrder;
  Fill();
}

void TFormYouTubeHQ::StoreOrder() {
  for (int i = 0; i < 8; ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    stored_.Order[i] = static_cast<uint8_t>(
        item ? QualityNumberOfShortName(item->text(0).toStdString()) : 0);
  }
}

}  // namespace download
