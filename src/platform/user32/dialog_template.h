// A dialog template resource (DIALOG, not DIALOGEX), read into plain values.
#ifndef VELMORA_PLATFORM_USER32_DIALOG_TEMPLATE_H
#define VELMORA_PLATFORM_USER32_DIALOG_TEMPLATE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "resource_file.h"

namespace user32 {

// The predefined window classes, by the ordinals templates use for them.
constexpr WORD kButtonClass = 0x80;
constexpr WORD kEditClass = 0x81;
constexpr WORD kStaticClass = 0x82;
constexpr WORD kListBoxClass = 0x83;
constexpr WORD kScrollBarClass = 0x84;
constexpr WORD kComboBoxClass = 0x85;

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD extendedStyle = 0;
    // Position and size in dialog units.
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    // Stored as 16 bits; IDC_STATIC reads as -1.
    int id = 0;
    ResourceId windowClass;
    // Text, or a resource number (an icon's, for icon statics).
    ResourceId title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD extendedStyle = 0;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    ResourceId menu;
    ResourceId windowClass;
    std::u16string title;
    // Only with DS_SETFONT.
    int pointSize = 0;
    std::u16string fontName;
    std::vector<DialogItemTemplate> items;
};

// False when the bytes are not a whole DIALOG template (an extended one,
// or one cut short).
bool ReadDialogTemplate(const BYTE* data, size_t size, DialogTemplate& dialog);

// The predefined class a control's class names, by ordinal or by name
// ("BUTTON", "STATIC", ... without regard to case); 0 for any other class.
WORD PredefinedClass(const ResourceId& windowClass);

}  // namespace user32

#endif
