#include "app/window/message_boxes.h"

#include <QMessageBox>
#include <utility>

namespace qv {
namespace {

MessageBoxes::Hook& CurrentHook() {
  static MessageBoxes::Hook hook;
  return hook;
}

void ShowBox(QMessageBox::Icon icon, const QString& text, const QString& caption) {
  if (MessageBoxes::Hook hook = CurrentHook()) {  // a copy: the hook may replace itself
    hook(text, caption);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

void MessageBoxes::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

void MessageBoxes::Show(const QString& text, const QString& caption) {
  ShowBox(QMessageBox::NoIcon, text, caption);
}

void MessageBoxes::ShowError(const QString& text, const QString& caption) {
  ShowBox(QMessageBox::Critical, text, caption);
}

}  // namespace qv
