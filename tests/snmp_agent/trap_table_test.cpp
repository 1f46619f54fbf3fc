// The specific-trap table as a whole: 115 listed codes use every number
// from 1 to 109 but 83, and every other code raises 83.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "traps.h"

TEST(SpecificTrapTable, ListedCodesCoverEveryNumberButTheUnlistedOne)
{
    std::map<AsnInteger32, int> uses;
    int listed = 0;
    for (DWORD high = 0; high <= 0x20; high++) {
        for (DWORD low = 0; low <= 0x40; low++) {
            AsnInteger32 number = SpecificTrapForEvent(high << 16 | low);
            if (number != 83) {
                listed++;
                uses[number]++;
            }
        }
    }
    EXPECT_EQ(listed, 115);
    std::set<AsnInteger32> expected;
    for (AsnInteger32 n = 1; n <= 109; n++)
        if (n != 83)
            expected.insert(n);
    std::set<AsnInteger32> seen;
    for (const auto& use : uses)
        seen.insert(use.first);
    EXPECT_EQ(seen, expected);
    // Only the 0x0008 pairs share a number.
    for (AsnInteger32 shared : {45, 46, 47, 48, 49, 50, 51})
        EXPECT_EQ(uses[shared], 2) << shared;
    EXPECT_EQ(listed - (int)seen.size(), 7);
}

TEST(SpecificTrapTable, UnlistedCodes)
{
    for (DWORD code : {0x00030005u, 0x00080005u, 0x00080007u | 0x10000000u, 0xFFFFFFFFu, 0x00000000u, 0x00100001u})
        EXPECT_EQ(SpecificTrapForEvent(code), 83) << std::hex << code;
}
