#pragma once
// The about dialog: the title, the version, the copyright, the home-page address and the
// left image; its labels and buttons open the edition's links.

#include <QDialog>
#include <QPixmap>

#include "appcore/Branding.h"

class QLabel;
class QPushButton;

namespace app {

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  TFormAbout(const BrandingConfig& branding, const QPixmap& leftImage, bool showLeftImage,
             QWidget* parent = nullptr);
};

}  // namespace app
