#include "config/tokenizer.h"

#include <cstring>

Tokenizer::Tokenizer(const char* line) : text(line) {}

std::string Tokenizer::NextToken(const char* delimiters) {
    const long end = static_cast<long>(text.size());
    if (cursor < 0) {
        cursor = 0;
    }
    while (cursor < end) {
        const char* at = text.c_str() + cursor;
        cursor += static_cast<long>(std::strspn(at, delimiters));
        at = text.c_str() + cursor;
        const long length = static_cast<long>(std::strcspn(at, delimiters));
        if (length > 0) {
            std::string token(at, static_cast<size_t>(length));
            cursor += length;
            return token;
        }
        // Nothing but delimiters up to the end: step past it so that every
        // further call returns at once.
        ++cursor;
    }
    return std::string();
}
