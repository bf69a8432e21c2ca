#include "app/mainwindow/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "appcore/Palette.h"
#include "appcore/DesktopShell.h"

namespace app {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QString hex(uint32_t rgb) { return QColor(QRgb(rgb)).name(); }

constexpr int kHeight = 320;

// A label that opens a link when clicked.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, std::string link, QWidget* parent)
      : QLabel(text, parent), link_(std::move(link)) {
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->pos())) OpenWithShell(link_);
  }

 private:
  std::string link_;
};

}  // namespace

TFormAbout::TFormAbout(const BrandingConfig& branding, const QPixmap& leftImage, bool showLeftImage,
                       QWidget* parent)
    : QDialog(parent) {
  setObjectName("FormAbout");
  setWindowTitle(q("关于 " + branding.Name));
  setStyleSheet(QString("QDialog#FormAbout { background: %1; border: 1px solid %3; }"
                        "QLabel { color: %2; } QLabel#ImageLeft { background: %4; }")
                    .arg(hex(palette::kPanel), hex(palette::kText), hex(palette::kBorder),
                         hex(palette::kWindow)));

  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(1, 1, 1, 1);

  auto* image = new LinkLabel(QString(), branding.HelpCheckForUpdatesLink, this);
  image->setObjectName("ImageLeft");
  // The skin's left image is a tall column; it is shown at the dialog's height.
  image->setPixmap(leftImage.isNull()
                       ? leftImage
                       : leftImage.scaledToHeight(kHeight - 2, Qt::SmoothTransformation));
  image->setVisible(showLeftImage);
  outer->addWidget(image, 0, Qt::AlignTop);

  auto* column = new QVBoxLayout;
  column->setContentsMargins(showLeftImage ? 8 : 24, 24, 16, 16);
  auto* title = new QLabel(q(branding.Name), this);
  title->setObjectName("LabelAboutTitle");
  QFont big = title->font();
  big.setPixelSize(22);
  big.setBold(true);
  title->setFont(big);
  column->addWidget(title);

  auto* version = new QLabel(q("Version: " + branding.Version), this);
  version->setObjectName("LabelAboutVersion");
  column->addWidget(version);
  auto* copyright = new QLabel(q(branding.Copyright), this);
  copyright->setObjectName("LabelAboutCopyright");
  column->addWidget(copyright);
  column->addSpacing(12);

  auto* homePage = new LinkLabel(q(branding.HelpHomePageLink), branding.HelpHomePageLink, this);
  homePage->setObjectName("LabelHomePage");
  homePage->setStyleSheet(
      QString("color: %1; text-decoration: underline;").arg(hex(palette::kAccent)));
  column->addWidget(homePage);
  auto* support = new LinkLabel(q("联系技术支持"), branding.HelpSupportLink, this);
  support->setObjectName("LabelSupport");
  support->setStyleSheet(
      QString("color: %1; text-decoration: underline;").arg(hex(palette::kAccent)));
  column->addWidget(support);
  column->addStretch(1);

  auto* buttons = new QHBoxLayout;
  auto* update = new QPushButton(q("检查更新"), this);
  update->setObjectName("ButtonCheckForUpdates");
  connect(update, &QPushButton::clicked, this,
          [link = branding.HelpCheckForUpdatesLink] { OpenWithShell(link); });
  auto* ok = new QPushButton(q("确定"), this);
  ok->setObjectName("ButtonOK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addStretch(1);
  buttons->addWidget(update);
  buttons->addWidget(ok);
  column->addLayout(buttons);
  outer->addLayout(column, 1);

  // Without the left image the dialog narrows to its text.
  setFixedSize(showLeftImage ? QSize(520, kHeight) : QSize(360, kHeight));
}

}  // namespace app
