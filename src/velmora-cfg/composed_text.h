#ifndef VELMORA_CFG_COMPOSED_TEXT_H
#define VELMORA_CFG_COMPOSED_TEXT_H

#include <string>

// UTF-8 text in Unicode's composed form (NFC): "a" followed by a combining
// diaeresis becomes one "ä", as keyboards type it. Text that is not valid
// UTF-8 is returned as it is.
std::string ComposedText(const std::string& text);

#endif
