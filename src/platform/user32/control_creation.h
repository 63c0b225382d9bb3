// The controls of a dialog template as Qt widgets, placed in dialog units.
#ifndef VELMORA_PLATFORM_USER32_CONTROL_CREATION_H
#define VELMORA_PLATFORM_USER32_CONTROL_CREATION_H

#include <windows.h>

#include <QFont>
#include <QPixmap>

#include <string>

#include "dialog_template.h"

namespace user32 {

// Dialog units: a quarter of the dialog font's average character width
// across, an eighth of its height down, the width measured as the platform
// does over the 52 letters.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;
    int X(int units) const;
    int Y(int units) const;
};

DialogUnits UnitsOf(const QFont& font);

// The icon group of the program's resources at the size, or a null pixmap.
QPixmap IconPixmap(WORD groupNumber, int size);

// The platform's icon size, which icon statics take whatever the template
// says.
int IconSize();

// Makes the control's window and widget and adds it to the dialog's items.
// False, with the reason in problem, for a control the stand-in cannot show.
bool CreateControl(HWND dialog, const DialogItemTemplate& item, const DialogUnits& units,
                   std::string& problem);

}  // namespace user32

#endif
