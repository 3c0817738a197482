#include "platform/ui/closebox_qt.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace {

// A child of its window, so that it lives exactly as long as the window does. The window
// itself decides what a close request does.
class WindowCloseItem final : public QObject {
public:
    explicit WindowCloseItem(QWidget &window) : QObject(&window), Window(window) {}

    QWidget &Window;
    uint32_t Id = CloseItem::EnabledId;
    uint32_t State = 0;
    bool AddedCustomizeHint = false;
};

QWidget *FindWindow(WindowHandle window)
{
    // Compared by value, never dereferenced first: the handle may name a destroyed window.
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.cbegin(), windows.cend(), [window](QWidget *w) {
        return QtCloseBox::HandleOf(w) == window;
    });
    return found == windows.cend() ? nullptr : *found;
}

WindowCloseItem *ItemOf(QWidget &window)
{
    for (QObject *child : window.children()) {
        if (auto *item = dynamic_cast<WindowCloseItem *>(child))
            return item;
    }
    // Made on first use, as the platform makes a window's system menu; a window that never
    // showed a close button has no close box, like a window without a system menu.
    if (!window.windowFlags().testFlag(Qt::WindowCloseButtonHint))
        return nullptr;
    return new WindowCloseItem(window);
}

WindowCloseItem *FindItem(WindowHandle window, uint32_t itemId)
{
    QWidget *widget = FindWindow(window);
    WindowCloseItem *item = widget ? ItemOf(*widget) : nullptr;
    return item && item->Id == itemId ? item : nullptr;
}

// Qt's xcb plugin drops the close function of a window without minimise and maximise buttons
// only under CustomizeWindowHint; otherwise it leaves every function to the window manager.
// The hint changes nothing else, since Qt has already made every hint the window shows
// explicit in its flags.
void ShowCloseButton(WindowCloseItem &item, bool show)
{
    Qt::WindowFlags flags = item.Window.windowFlags();
    if (flags.testFlag(Qt::WindowCloseButtonHint) == show)
        return;
    if (show) {
        flags |= Qt::WindowCloseButtonHint;
        flags.setFlag(Qt::CustomizeWindowHint, !item.AddedCustomizeHint);
    } else {
        item.AddedCustomizeHint = !flags.testFlag(Qt::CustomizeWindowHint);
        flags &= ~Qt::WindowCloseButtonHint;
        flags |= Qt::CustomizeWindowHint;
    }
    // New flags hide the window, as they may need a new native window.
    const bool wasVisible = item.Window.isVisible();
    item.Window.setWindowFlags(flags);
    if (wasVisible)
        item.Window.setVisible(true);
}

} // namespace

bool QtCloseBox::IsWindow(WindowHandle window)
{
    return FindWindow(window) != nullptr;
}

std::optional<uint32_t> QtCloseBox::CloseItemState(WindowHandle window, uint32_t itemId)
{
    if (const WindowCloseItem *item = FindItem(window, itemId))
        return item->State;
    return std::nullopt;
}

bool QtCloseBox::SetCloseItemId(WindowHandle window, uint32_t itemId, uint32_t newId)
{
    WindowCloseItem *item = FindItem(window, itemId);
    if (!item)
        return false;
    item->Id = newId;
    ShowCloseButton(*item, newId == CloseItem::EnabledId);
    return true;
}

bool QtCloseBox::SetCloseItemState(WindowHandle window, uint32_t itemId, uint32_t state)
{
    WindowCloseItem *item = FindItem(window, itemId);
    if (!item)
        return false;
    item->State = state;
    return true;
}

void QtCloseBox::RedrawFrame(WindowHandle)
{
    // The window manager draws the frame, and draws it anew by itself once the changed flags
    // have told it whether the window has a close button.
}
