// Upper case in ASCII only, for names that Windows compares that way
// (resource names, window classes, device names): every character but a to z
// stays as it is, whatever the locale.
#ifndef VELMORA_TEXT_ASCII_CASE_H
#define VELMORA_TEXT_ASCII_CASE_H

template <typename Char>
constexpr Char AsciiUpper(Char c) {
    return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}

#endif
