// A message posted to a window (PostMessageA), carried through Qt's event
// queue to the dialog that owns the window.
#ifndef VELMORA_PLATFORM_USER32_POSTED_MESSAGE_H
#define VELMORA_PLATFORM_USER32_POSTED_MESSAGE_H

#include <windows.h>

#include <QEvent>

namespace user32 {

class PostedMessage : public QEvent {
  public:
    PostedMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(EventType()), target(target), message(message), wParam(wParam), lParam(lParam) {}

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    const HWND target;
    const UINT message;
    const WPARAM wParam;
    const LPARAM lParam;
};

}  // namespace user32

#endif
