#ifndef VELMORA_CFG_FILE_NAMES_H
#define VELMORA_CFG_FILE_NAMES_H

#include <string>

// A name (UTF-8) made safe to use as one file or folder name on Windows,
// macOS and Linux: valid UTF-8 is kept; bytes of invalid sequences, control
// characters and <>:"/\|?* become '_'; no leading or trailing blank, no
// leading or trailing dot, no reserved device name (CON, NUL, COM1...), at
// most kMaximumFileNameBytes bytes. Never empty.
std::string SafeFileName(const std::string& name);

constexpr size_t kMaximumFileNameBytes = 100;

// The name (UTF-8) as a case-insensitive file system compares it: two names
// with the same key are one file on Windows and macOS, in every script
// ("Über" and "über"). Upper case as Windows' own table gives it.
std::string CaseKey(const std::string& name);

// The length of the valid UTF-8 sequence at text[at], or 0 when there is none.
size_t Utf8SequenceLength(const std::string& text, size_t at);

#endif
