// The combo box messages, over QComboBox: indexes and results as the
// platform's, CB_ERR where it returns CB_ERR.
#include <QComboBox>

#include "window.h"

namespace user32 {

LRESULT ComboBoxMessage(HWND comboBox, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* list = qobject_cast<QComboBox*>(comboBox->widget.data());
    if (list == nullptr) {
        return CB_ERR;
    }
    const int count = list->count();
    // An index of -1 arrives with every bit set.
    const auto index = static_cast<LONG_PTR>(wParam);
    const bool listed = index >= 0 && index < count;
    switch (message) {
        case CB_ADDSTRING: {
            const int selected = list->currentIndex();
            list->addItem(
                QString::fromLocal8Bit(lParam != 0 ? reinterpret_cast<const char*>(lParam) : ""));
            // Qt selects the first item added to an empty list; the platform
            // selects nothing until asked to.
            if (list->currentIndex() != selected) {
                list->setCurrentIndex(selected);
            }
            return count;
        }
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return list->currentIndex() >= 0 ? list->currentIndex() : CB_ERR;
        case CB_SETCURSEL:
            // Out of range clears the selection.
            list->setCurrentIndex(listed ? static_cast<int>(index) : -1);
            return listed ? index : CB_ERR;
        case CB_GETITEMDATA:
            return listed ? static_cast<LRESULT>(
                                list->itemData(static_cast<int>(index)).value<qlonglong>())
                          : CB_ERR;
        case CB_SETITEMDATA:
            if (!listed) {
                return CB_ERR;
            }
            list->setItemData(static_cast<int>(index), QVariant::fromValue<qlonglong>(lParam));
            return TRUE;
        default:
            return 0;
    }
}

}  // namespace user32
