// UTF-8 and UTF-16 as kernel32's conversions give them to the program.
#ifndef VELMORA_PLATFORM_KERNEL32_UNICODE_TEXT_H
#define VELMORA_PLATFORM_KERNEL32_UNICODE_TEXT_H

#include <string>

// A byte that does not start valid UTF-8 becomes the lone surrogate
// U+DC00 + byte, as Python's "surrogateescape" does: Linux names are bytes,
// and such a name still comes back whole from Utf8Of.
std::u16string Utf16Of(const std::string& bytes);

// The lone surrogates U+DC80..U+DCFF become their bytes again; any other lone
// surrogate becomes U+FFFD, as Windows writes it.
std::string Utf8Of(const std::u16string& text);

#endif
