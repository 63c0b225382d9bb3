#include "config/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kDelimiters[] = " \t\n";

// Asks for `calls` tokens and returns them all, empty ones included.
std::vector<std::string> Tokens(const char* line, int calls) {
    Tokenizer tokenizer(line);
    std::vector<std::string> tokens;
    for (int i = 0; i < calls; ++i) {
        tokens.push_back(tokenizer.NextToken(kDelimiters));
    }
    return tokens;
}

struct TokenCase {
    const char* line;
    std::vector<std::string> expected;
};

TEST(TokenizerTest, SplitsOnRunsOfSpacesTabsAndLineFeeds) {
    const TokenCase cases[] = {
        {"  Cutoff\t74 0  127", {"Cutoff", "74", "0", "127", "", ""}},
        {"Cutoff 74 0 127\n", {"Cutoff", "74", "0", "127", "", ""}},
        {"\t\n a\n\nb \t", {"a", "b", "", ""}},
        {"", {"", ""}},
        {" \t\n  ", {"", ""}},
        {"single", {"single", "", ""}},
        // Only space, tab and LF separate: CR and comma are token characters.
        {"127\r", {"127\r", ""}},
        {"1,2 3", {"1,2", "3", ""}},
        {"\r", {"\r", ""}},
        {"\v7", {"\v7", ""}},
    };
    for (const TokenCase& c : cases) {
        EXPECT_EQ(Tokens(c.line, static_cast<int>(c.expected.size())), c.expected)
            << "line: \"" << c.line << "\"";
    }
}

TEST(TokenizerTest, KeepsItsOwnCopyOfTheLine) {
    char line[] = "Cutoff 74";
    Tokenizer tokenizer(line);
    line[0] = 'X';
    EXPECT_EQ(tokenizer.NextToken(kDelimiters), "Cutoff");
    EXPECT_EQ(tokenizer.NextToken(kDelimiters), "74");
}

TEST(TokenizerTest, EachCallNamesItsOwnDelimiters) {
    Tokenizer tokenizer("a,b c");
    EXPECT_EQ(tokenizer.NextToken(","), "a");
    EXPECT_EQ(tokenizer.NextToken(" "), ",b");
    EXPECT_EQ(tokenizer.NextToken(" "), "c");
    EXPECT_EQ(tokenizer.NextToken(" "), "");
}

TEST(TokenizerTest, ExtraCallsAfterTheEndStayEmpty) {
    for (const char* line : {"a", "a ", "a \t\n", ""}) {
        Tokenizer tokenizer(line);
        tokenizer.NextToken(kDelimiters);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(tokenizer.NextToken(kDelimiters), "") << "line: \"" << line << "\"";
        }
        EXPECT_LE(tokenizer.cursor, static_cast<long>(tokenizer.text.size()) + 1)
            << "line: \"" << line << "\"";
    }
}

}  // namespace
