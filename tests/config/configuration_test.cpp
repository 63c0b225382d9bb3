#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config_test_support.h"

namespace {

using std::string_literals::operator""s;

struct ReadCase {
    const char* name;
    std::string bytes;
    std::vector<ParameterValues> expected;
};

void ExpectReads(const std::vector<ReadCase>& cases) {
    for (const ReadCase& c : cases) {
        EXPECT_EQ(Read(c.bytes), c.expected) << c.name << ": \"" << Escaped(c.bytes) << "\"";
    }
}

TEST(ReadConfigurationTest, LinesCommentsAndBlanks) {
    ExpectReads({
        {"empty file", "", {}},
        {"comments and empty lines only", "# a synth\n\n#\n\n", {}},
        {"one line with LF", "Cutoff 74 0 127\n", {{"Cutoff", 74, 0, 127}}},
        {"last line without LF", "A 1 2 3\nB 4 5 6", {{"A", 1, 2, 3}, {"B", 4, 5, 6}}},
        {"file order kept, duplicates kept",
         "B 2 0 9\nA 1 0 9\nB 2 0 9\n",
         {{"B", 2, 0, 9}, {"A", 1, 0, 9}, {"B", 2, 0, 9}}},
        {"comment only in the first column", " # note\n", {{"#", 0, 0, 0}}},
        {"blank-only line is a parameter", "   \t \n", {{"", 0, 0, 0}}},
        {"leading blanks before the label", "\t  Cutoff 74 0 127", {{"Cutoff", 74, 0, 127}}},
        {"missing tokens read as 0", "Cutoff 74\nX\n", {{"Cutoff", 74, 0, 0}, {"X", 0, 0, 0}}},
        {"extra tokens ignored", "Cutoff 74 0 127 extra words\n", {{"Cutoff", 74, 0, 127}}},
        {"reversed range stored unchanged", "Detune 94 100 50", {{"Detune", 94, 100, 50}}},
    });
}

TEST(ReadConfigurationTest, LineEndsAndControlBytes) {
    ExpectReads({
        {"CR LF reads as LF", "A 1 2 3\r\nB 4 5 6\r\n", {{"A", 1, 2, 3}, {"B", 4, 5, 6}}},
        {"lone CR is an ordinary character: one long line", "A 1 2 3\rB 4 5 6\r", {{"A", 1, 2, 3}}},
        {"CR CR LF ends a line whose last character is CR",
         "A 1 2 3\r\r\nB 4 5 6",
         {{"A", 1, 2, 3}, {"B", 4, 5, 6}}},
        {"a line of only CR is a parameter", "\r\r\nA 1 2 3", {{"\r", 0, 0, 0}, {"A", 1, 2, 3}}},
        {"CR before the end of the file stays", "A 1 2 3\r", {{"A", 1, 2, 3}}},
        {"Ctrl-Z ends the file mid-line",
         "A 1 2 3\nB 4 5\x1a"
         "6 7\nC 8 9 10\n",
         {{"A", 1, 2, 3}, {"B", 4, 5, 0}}},
        {"Ctrl-Z at the start of a line",
         "A 1 2 3\n\x1a"
         "B 4 5 6\n",
         {{"A", 1, 2, 3}}},
        {"CR then Ctrl-Z", "A 1 2 3\r\x1a\nB 4 5 6", {{"A", 1, 2, 3}}},
        {"NUL first in a line skips it", "\0X 1 2 3\nA 1 2 3\n"s, {{"A", 1, 2, 3}}},
        {"NUL inside a line ends its text",
         "A 1\0 2 3\nB 4 5 6"s,
         {{"A", 1, 0, 0}, {"B", 4, 5, 6}}},
        {"byte-order mark is part of the first line",
         "\xEF\xBB\xBF# comment\nA 1 2 3\n",
         {{"\xEF\xBB\xBF#", 0, 0, 0}, {"A", 1, 2, 3}}},
        {"bytes above 0x7F are characters", "\xE9t\xE9 7 0 9\n", {{"\xE9t\xE9", 7, 0, 9}}},
    });
}

TEST(ReadConfigurationTest, IntegersKeepTheirLowEightBits) {
    ExpectReads({
        {"negative and above 255", "Detune 94 -1 300", {{"Detune", 94, 255, 44}}},
        {"wrap modulo 2^32 then 256", "X 4294967297 256 -300", {{"X", 1, 0, 212}}},
        {"no clamping of huge values", "X 100000000000000000000 1 2", {{"X", 0, 1, 2}}},
        {"only decimal digits count", "X 0x10 12abc abc", {{"X", 0, 12, 0}}},
        {"signs", "X +-5 - +7", {{"X", 0, 0, 7}}},
        {"leading VT, FF and CR are skipped", "X \v8 \f\r9 \r-1", {{"X", 8, 9, 255}}},
    });
}

TEST(ReadIntegerTest, FollowsTheDecimalRuleModulo2To32) {
    const struct {
        const char* token;
        uint32_t expected;
    } cases[] = {
        {"", 0},
        {"0", 0},
        {"127", 127},
        {"-1", 0xFFFFFFFFu},
        {"+42", 42},
        {"-", 0},
        {"+", 0},
        {"+-5", 0},
        {"0x10", 0},
        {"12abc", 12},
        {"abc", 0},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967297", 0xFFFFFFFFu},
        {"\v\f\r 33", 33},
        {"00000000000000000000000000042", 42},
        {"100000000000000000000", 1661992960u},  // 10^20 mod 2^32
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadInteger(c.token), c.expected) << "token: \"" << Escaped(c.token) << "\"";
    }
}

std::string Repeated(char c, size_t count) {
    return std::string(count, c);
}

TEST(ReadConfigurationTest, LinesUpTo255CharactersAreReadWhole) {
    // A label that fills the line to exactly 255 characters with its numbers.
    const std::string tail = " 74 0 127";
    const std::string label = Repeated('x', 255 - tail.size());
    const std::string line = label + tail;
    ASSERT_EQ(line.size(), 255u);
    ExpectReads({
        {"255 characters and LF", line + "\nA 1 2 3\n", {{label, 74, 0, 127}, {"A", 1, 2, 3}}},
        {"255 characters and CR LF",
         line + "\r\nA 1 2 3\r\n",
         {{label, 74, 0, 127}, {"A", 1, 2, 3}}},
        {"255 characters at the end without LF",
         "A 1 2 3\n" + line,
         {{"A", 1, 2, 3}, {label, 74, 0, 127}}},
    });
}

TEST(ReadConfigurationTest, LongerLinesAreCutAndReadingGoesOn) {
    // 248 + " 74 12" is 254 characters; the 255th is a blank, so the maximum
    // falls into the cut-off part.
    const std::string label = Repeated('x', 248);
    const std::string longLine = label + " 74 12 127 " + Repeated('y', 300);
    const std::string longComment = "#" + Repeated('c', 299);
    ExpectReads({
        {"300-character parameter line, then more",
         longLine + "\nA 1 2 3\nB 4 5 6",
         {{label, 74, 12, 0}, {"A", 1, 2, 3}, {"B", 4, 5, 6}}},
        {"300-character comment, then more",
         longComment + "\nA 1 2 3\n# short\nB 4 5 6\n",
         {{"A", 1, 2, 3}, {"B", 4, 5, 6}}},
        {"256 characters: the last one is dropped",
         Repeated('z', 256) + "\nA 1 2 3",
         {{Repeated('z', 255), 0, 0, 0}, {"A", 1, 2, 3}}},
        {"long line with CR LF",
         longLine + "\r\nA 1 2 3\r\n",
         {{label, 74, 12, 0}, {"A", 1, 2, 3}}},
        {"long line ending the file", "A 1 2 3\n" + longLine, {{"A", 1, 2, 3}, {label, 74, 12, 0}}},
        {"Ctrl-Z in the cut-off part still ends the file",
         longLine + "\x1a\nA 1 2 3\n",
         {{label, 74, 12, 0}}},
        {"several long lines in a row",
         longComment + "\n" + longComment + "\n" + longLine + "\nA 1 2 3",
         {{label, 74, 12, 0}, {"A", 1, 2, 3}}},
    });
}

TEST(ReadConfigurationTest, AppendsToWhatTheListAlreadyHolds) {
    std::list<Parameter*> parameters;
    std::istringstream first("A 1 2 3\n"), second("B 4 5 6\n");
    ReadConfiguration(first, parameters);
    ReadConfiguration(second, parameters);
    EXPECT_EQ(ValuesOf(parameters), (std::vector<ParameterValues>{{"A", 1, 2, 3}, {"B", 4, 5, 6}}));
    for (Parameter* p : parameters) {
        delete p;
    }
}

TEST(ConfigurationPathTest, ReplacesAThreeCharacterExtensionOrAppendsOne) {
    const struct {
        const char* program;
        const char* expected;
    } cases[] = {
        {"C:\\Synths\\Velmora.exe", "C:\\Synths\\Velmora.cfg"},
        {"/opt/velmora/Velmora", "/opt/velmora/Velmora.cfg"},
        {"C:\\Synths\\MyPatchBox.exe", "C:\\Synths\\MyPatchBox.cfg"},
        {"/home/me/bin/velmora-test", "/home/me/bin/velmora-test.cfg"},
        {"C:\\Program Files (x86)\\v2.0.1\\Velmora.exe",
         "C:\\Program Files (x86)\\v2.0.1\\Velmora.cfg"},
        {"/home/me/synth.tools/v1.2.3/Velmora", "/home/me/synth.tools/v1.2.3/Velmora.cfg"},
        {"/opt/app.exe/Velmora", "/opt/app.exe/Velmora.cfg"},
        {"/opt/velmora/Velmora.x", "/opt/velmora/Velmora.x.cfg"},
        {"/opt/velmora/Velmora.a.b", "/opt/velmora/Velmora.a.b.cfg"},
        {"Velmora.exe", "Velmora.cfg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigurationPath(c.program), c.expected) << "program: " << c.program;
    }
}

}  // namespace
