// Names that a case-insensitive file system takes for one file, in several
// scripts, and the ones it keeps apart.
#include <gtest/gtest.h>

#include <string>

#include "velmora-cfg/file_names.h"

TEST(CaseKey, NamesAreOneFileExactlyWhereWindowsMakesThemOne) {
    const char* const kPairs[][2] = {
        {"Mäander Ø", "MÄANDER Ø"}, {"Łódź Синт", "ŁÓDŹ СИНТ"},
        {"Ωmega ǆ", "ΩMEGA Ǆ"},     {"Straße", "STRAẞE"},
        {"Ab\xFF", "AB\xFF"},       {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"}};
    std::string same;
    for (const auto& pair : kPairs) {
        same += std::string(pair[0]) + (CaseKey(pair[0]) == CaseKey(pair[1]) ? " = " : " / ") +
                pair[1] + "\n";
    }
    EXPECT_EQ(same,
              "Mäander Ø = MÄANDER Ø\nŁódź Синт = ŁÓDŹ СИНТ\nΩmega ǆ = ΩMEGA Ǆ\nStraße / STRAẞE\n"
              "Ab\xFF = AB\xFF\n\xF0\x90\x90\xA8 / \xF0\x90\x90\x80\n");
}
