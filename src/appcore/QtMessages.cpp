#include "appcore/QtMessages.h"

#include <QApplication>

#include "appcore/MessageDialog.h"
#include "core/MainThread.h"

namespace app {

core::MessageAnswer QtMessages::Show(core::MessageKind kind, const std::string& caption,
                                     const std::string& text) {
  core::MessageAnswer answer = core::MessageAnswer::Ok;
  core::MainThread::Call([&] {
    auto box = CreateMessageDialog(text, caption, kind, QApplication::activeWindow());
    box->exec();
    answer = MessageDialogAnswer(*box);
  });
  return answer;
}

}  // namespace app
