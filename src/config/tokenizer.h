#ifndef VELMORA_CONFIG_TOKENIZER_H
#define VELMORA_CONFIG_TOKENIZER_H

#include <string>

// Splits one configuration line into tokens separated by runs of delimiter
// characters.
struct Tokenizer {
    explicit Tokenizer(const char* line);

    // The next token, or an empty string when none is left.
    std::string NextToken(const char* delimiters);

    std::string text;
    // Index into text; may run one past its end. Negative until started.
    long cursor = -1;
};

#endif
