// The program's resources as the resource compiler writes them (windres
// -O res): a sequence of entries, each a header naming its type, name and
// language, followed by the entry's data.
#ifndef VELMORA_PLATFORM_USER32_RESOURCE_FILE_H
#define VELMORA_PLATFORM_USER32_RESOURCE_FILE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace user32 {

// Resource types as numbered by the platform.
constexpr WORD kIconResource = 3;
constexpr WORD kDialogResource = 5;
constexpr WORD kIconGroupResource = 14;

// A resource type or name: a number, or a string (UTF-16 in the file).
struct ResourceId {
    bool isNumber = true;
    WORD number = 0;
    std::u16string name;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const BYTE* data = nullptr;
    size_t size = 0;
};

// Splits a resource file into its entries; the entries point into data.
// False (entries unchanged) when the file is cut short or malformed.
bool ReadResourceFile(const BYTE* data, size_t size, std::vector<ResourceEntry>& entries);

// The first entry of the type with the numbered name, or null.
const ResourceEntry* FindEntry(const std::vector<ResourceEntry>& entries, WORD type, WORD number);

// The first entry of the type with the named name (ASCII letters compared
// without regard to case, as the platform does), or null.
const ResourceEntry* FindEntry(const std::vector<ResourceEntry>& entries, WORD type,
                               const char* name);

// The numbered name of the first icon group, which desktops show for the
// program; false when there is none.
bool FirstIconGroup(const std::vector<ResourceEntry>& entries, WORD& groupNumber);

// The icon group's images assembled into the bytes of an .ico file. False
// when the group or one of its images is missing or malformed.
bool BuildIconFile(const std::vector<ResourceEntry>& entries, WORD groupNumber,
                   std::vector<BYTE>& iconFile);

// The entries of the resources built into the program (program_resources.h),
// read once; none when those are malformed.
const std::vector<ResourceEntry>& ProgramResourceEntries();

}  // namespace user32

#endif
