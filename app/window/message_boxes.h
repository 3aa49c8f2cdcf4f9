// The window's modal message boxes, with a seam for tests.
//
// Show and ShowError run on the window's thread and return when the box has
// been closed. A test installs a hook to answer in place of a person: while
// it is set, no box appears and the hook gets the text and caption instead;
// the box counts as closed when the hook returns.
#ifndef QV_APP_WINDOW_MESSAGE_BOXES_H_
#define QV_APP_WINDOW_MESSAGE_BOXES_H_

#include <QString>
#include <functional>

namespace qv {

class MessageBoxes {
 public:
  using Hook = std::function<void(const QString& text, const QString& caption)>;

  // An empty hook brings the real boxes back.
  static void SetHook(Hook hook);

  // text under caption, one OK button, no icon, no owner (application-modal).
  static void Show(const QString& text, const QString& caption);

  // As Show, with the error icon.
  static void ShowError(const QString& text, const QString& caption);
};

}  // namespace qv

#endif  // QV_APP_WINDOW_MESSAGE_BOXES_H_
