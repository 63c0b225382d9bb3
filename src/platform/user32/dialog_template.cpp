#include "dialog_template.h"

#include "byte_reader.h"
#include "text/ascii_case.h"

namespace user32 {

namespace {

constexpr DWORD kExtendedTemplateSignature = 0xFFFF0001;

bool ReadItem(ByteReader& reader, DialogItemTemplate& item) {
    WORD id = 0;
    WORD creationDataSize = 0;
    // Each item starts on a DWORD boundary.
    if (!reader.Align(4) || !reader.Dword(item.style) || !reader.Dword(item.extendedStyle) ||
        !reader.Short(item.x) || !reader.Short(item.y) || !reader.Short(item.cx) ||
        !reader.Short(item.cy) || !reader.Word(id) || !reader.Id(item.windowClass) ||
        !reader.Id(item.title) || !reader.Word(creationDataSize)) {
        return false;
    }
    item.id = static_cast<int16_t>(id);
    // A non-zero size counts the size word itself.
    if (creationDataSize > 2) {
        const BYTE* creationData = reader.Here();
        if (!reader.Skip(creationDataSize - 2u)) {
            return false;
        }
        item.creationData.assign(creationData, creationData + (creationDataSize - 2u));
    }
    return true;
}

}  // namespace

bool ReadDialogTemplate(const BYTE* data, size_t size, DialogTemplate& dialog) {
    DialogTemplate read;
    ByteReader reader(data, size);
    WORD itemCount = 0;
    if (!reader.Dword(read.style)) {
        return false;
    }
    if (read.style == kExtendedTemplateSignature) {
        return false;
    }
    if (!reader.Dword(read.extendedStyle) || !reader.Word(itemCount) || !reader.Short(read.x) ||
        !reader.Short(read.y) || !reader.Short(read.cx) || !reader.Short(read.cy) ||
        !reader.Id(read.menu) || !reader.Id(read.windowClass) || !reader.String(read.title)) {
        return false;
    }
    if (read.style & DS_SETFONT) {
        WORD pointSize = 0;
        if (!reader.Word(pointSize) || !reader.String(read.fontName)) {
            return false;
        }
        read.pointSize = pointSize;
    }
    read.items.resize(itemCount);
    for (DialogItemTemplate& item : read.items) {
        if (!ReadItem(reader, item)) {
            return false;
        }
    }
    dialog = std::move(read);
    return true;
}

WORD PredefinedClass(const ResourceId& windowClass) {
    if (windowClass.isNumber) {
        return windowClass.number >= kButtonClass && windowClass.number <= kComboBoxClass
                   ? windowClass.number
                   : 0;
    }
    std::string upper;
    for (char16_t c : windowClass.name) {
        if (c > 0x7F) {
            return 0;
        }
        upper.push_back(static_cast<char>(AsciiUpper(c)));
    }
    static const struct {
        const char* name;
        WORD ordinal;
    } kNames[] = {{"BUTTON", kButtonClass},       {"EDIT", kEditClass},
                  {"STATIC", kStaticClass},       {"LISTBOX", kListBoxClass},
                  {"SCROLLBAR", kScrollBarClass}, {"COMBOBOX", kComboBoxClass}};
    for (const auto& known : kNames) {
        if (upper == known.name) {
            return known.ordinal;
        }
    }
    return 0;
}

}  // namespace user32
