#include "convert/FormFailedAddFile.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "appcore/DesktopShell.h"

namespace convert {
namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

TFormFailedAddFile::TFormFailedAddFile(const std::vector<std::string>& lines,
                                       std::string moreInfoLink, QWidget* parent)
    : QDialog(parent), moreInfoLink_(std::move(moreInfoLink)) {
  setObjectName("FormFailedAddFile");
  setWindowTitle(q("添加文件失败"));
  setFixedSize(kWidth, kHeight);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setObjectName("ImageIcon");
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QLabel(
      q("无法添加下列文件。转换器可能不支持该文件类型或可能不支持用于压缩该文件的编解码器。"
        "点击“更多信息”查看受支持的文件类型和相关编解码器列表。"),
      this);
  text->setObjectName("LabelText");
  text->setWordWrap(true);
  top->addWidget(text, 1);
  layout->addLayout(top);

  auto* files = new QTreeWidget(this);
  files->setObjectName("ListViewFiles");
  files->setColumnCount(1);
  files->setHeaderLabels({q("文件")});
  files->header()->setStretchLastSection(false);
  files->setColumnWidth(0, 380);
  files->setRootIsDecorated(false);
  files->setEditTriggers(QAbstractItemView::NoEditTriggers);
  files->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const std::string& line : lines) {
    auto* item = new QTreeWidgetItem(files, QStringList{q(line)});
    item->setToolTip(0, q(line));
  }
  layout->addWidget(files, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* moreInfo = new QPushButton(q("更多信息"), this);
  moreInfo->setObjectName("ButtonMoreInfo");
  moreInfo->setAutoDefault(false);
  auto* close = new QPushButton(q("关闭"), this);
  close->setObjectName("ButtonClose");
  close->setDefault(true);
  buttons->addWidget(moreInfo);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(moreInfo, &QPushButton::clicked, this, [this] { app::OpenWithShell(moreInfoLink_); });
}

void TFormFailedAddFile::CentreOn(const QWidget* owner) {
  if (!owner) return;
  const QRect frame = owner->frameGeometry();
  move(frame.left() + (frame.width() - width()) / 2, frame.top() + (frame.height() - height()) / 2);
}

}  // namespace convert
