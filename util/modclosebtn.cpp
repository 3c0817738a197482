#include "util/modclosebtn.h"

namespace modCloseBtn {
namespace {

uint32_t StateFor(bool enable, uint32_t state)
{
    // OR before the subtraction, so that only the grey bits go, whichever of them were set,
    // and the check mark, default and highlight bits stay as they were.
    return enable ? (state | CloseItem::GreyBits) - CloseItem::GreyBits
                  : state | CloseItem::GreyBits;
}

} // namespace

int16_t SetCloseButtonEnabled(WindowHandle hWnd, const int16_t &Enable, CloseBoxControl &control)
{
    if (!control.IsWindow(hWnd))
        return CloseButtonStatus::NotAWindow;
    const bool enable = Enable != 0;
    // Both directions share the one substitute id: disabling hides the item from a lookup by
    // the Close command, and enabling can find it only by the substitute.
    const uint32_t lookupId = enable ? CloseItem::DisabledId : CloseItem::EnabledId;
    const uint32_t newId = enable ? CloseItem::EnabledId : CloseItem::DisabledId;

    const std::optional<uint32_t> state = control.CloseItemState(hWnd, lookupId);
    if (!state)
        return CloseButtonStatus::Done;
    if (!control.SetCloseItemId(hWnd, lookupId, newId))
        return CloseButtonStatus::IdChangeFailed;
    // Nothing is rolled back after this point: the caller ignores the status anyway, and the
    // item under its new id is still found by the next call in the opposite direction.
    if (!control.SetCloseItemState(hWnd, newId, StateFor(enable, *state)))
        return CloseButtonStatus::StateChangeFailed;
    control.RedrawFrame(hWnd);
    return CloseButtonStatus::Done;
}

} // namespace modCloseBtn
