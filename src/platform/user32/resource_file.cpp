#include "resource_file.h"

#include "byte_reader.h"
#include "diagnostics/diagnostics.h"
#include "program_resources.h"
#include "text/ascii_case.h"

namespace user32 {

namespace {

bool SameName(const std::u16string& stored, const char* wanted) {
    size_t i = 0;
    for (; wanted[i] != '\0'; ++i) {
        const auto wantedChar = static_cast<char16_t>(static_cast<unsigned char>(wanted[i]));
        if (i == stored.size() || AsciiUpper(stored[i]) != AsciiUpper(wantedChar)) {
            return false;
        }
    }
    return i == stored.size();
}

void PutWord(std::vector<BYTE>& bytes, WORD value) {
    bytes.push_back(static_cast<BYTE>(value & 0xFF));
    bytes.push_back(static_cast<BYTE>(value >> 8));
}

void PutDword(std::vector<BYTE>& bytes, DWORD value) {
    PutWord(bytes, static_cast<WORD>(value & 0xFFFF));
    PutWord(bytes, static_cast<WORD>(value >> 16));
}

}  // namespace

bool ReadResourceFile(const BYTE* data, size_t size, std::vector<ResourceEntry>& entries) {
    std::vector<ResourceEntry> read;
    ByteReader file(data, size);
    while (file.Left() > 0) {
        const size_t entryStart = file.Offset();
        DWORD dataSize = 0;
        DWORD headerSize = 0;
        ResourceEntry entry;
        DWORD dataVersion = 0;
        WORD memoryFlags = 0;
        DWORD version = 0;
        DWORD characteristics = 0;
        if (!file.Dword(dataSize) || !file.Dword(headerSize) || !file.Id(entry.type) ||
            !file.Id(entry.name) || !file.Align(4) || !file.Dword(dataVersion) ||
            !file.Word(memoryFlags) || !file.Word(entry.language) || !file.Dword(version) ||
            !file.Dword(characteristics)) {
            return false;
        }
        const size_t headerRead = file.Offset() - entryStart;
        if (headerSize < headerRead || !file.Skip(headerSize - headerRead)) {
            return false;
        }
        entry.data = file.Here();
        entry.size = dataSize;
        if (!file.Skip(dataSize)) {
            return false;
        }
        // The last entry's padding may be missing.
        if (!file.Align(4)) {
            file.Skip(file.Left());
        }
        // The file starts with an empty entry that only marks the format.
        const bool marker = entry.type.isNumber && entry.type.number == 0;
        if (!marker) {
            read.push_back(entry);
        }
    }
    entries = std::move(read);
    return true;
}

const ResourceEntry* FindEntry(const std::vector<ResourceEntry>& entries, WORD type, WORD number) {
    for (const ResourceEntry& entry : entries) {
        if (entry.type.isNumber && entry.type.number == type && entry.name.isNumber &&
            entry.name.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

const ResourceEntry* FindEntry(const std::vector<ResourceEntry>& entries, WORD type,
                               const char* name) {
    for (const ResourceEntry& entry : entries) {
        if (entry.type.isNumber && entry.type.number == type && !entry.name.isNumber &&
            SameName(entry.name.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

bool FirstIconGroup(const std::vector<ResourceEntry>& entries, WORD& groupNumber) {
    for (const ResourceEntry& entry : entries) {
        if (entry.type.isNumber && entry.type.number == kIconGroupResource && entry.name.isNumber) {
            groupNumber = entry.name.number;
            return true;
        }
    }
    return false;
}

bool BuildIconFile(const std::vector<ResourceEntry>& entries, WORD groupNumber,
                   std::vector<BYTE>& iconFile) {
    const ResourceEntry* group = FindEntry(entries, kIconGroupResource, groupNumber);
    if (group == nullptr) {
        return false;
    }
    ByteReader directory(group->data, group->size);
    WORD reserved = 0;
    WORD kind = 0;
    WORD count = 0;
    if (!directory.Word(reserved) || !directory.Word(kind) || !directory.Word(count) || kind != 1 ||
        count == 0) {
        return false;
    }
    // The group lists each image by resource number; the file lists it by
    // its offset in the file.
    constexpr size_t kFileHeaderSize = 6;
    constexpr size_t kFileEntrySize = 16;
    std::vector<BYTE> header;
    std::vector<BYTE> images;
    PutWord(header, 0);
    PutWord(header, 1);
    PutWord(header, count);
    for (WORD i = 0; i < count; ++i) {
        const BYTE* fields = directory.Here();
        DWORD bytesInGroup = 0;
        WORD imageNumber = 0;
        if (!directory.Skip(8) || !directory.Dword(bytesInGroup) || !directory.Word(imageNumber)) {
            return false;
        }
        const ResourceEntry* image = FindEntry(entries, kIconResource, imageNumber);
        if (image == nullptr || image->size == 0) {
            return false;
        }
        header.insert(header.end(), fields, fields + 8);
        PutDword(header, static_cast<DWORD>(image->size));
        PutDword(header,
                 static_cast<DWORD>(kFileHeaderSize + kFileEntrySize * count + images.size()));
        images.insert(images.end(), image->data, image->data + image->size);
    }
    iconFile = std::move(header);
    iconFile.insert(iconFile.end(), images.begin(), images.end());
    return true;
}

const std::vector<ResourceEntry>& ProgramResourceEntries() {
    static const std::vector<ResourceEntry> entries = [] {
        std::vector<ResourceEntry> read;
        if (ReadResourceFile(ProgramResourceData(), ProgramResourceSize(), read)) {
            Diagnose("user32", "the program's resources: %zu entries in %zu bytes", read.size(),
                     ProgramResourceSize());
        } else {
            Diagnose("user32", "the program's resources (%zu bytes) are malformed",
                     ProgramResourceSize());
        }
        return read;
    }();
    return entries;
}

}  // namespace user32
