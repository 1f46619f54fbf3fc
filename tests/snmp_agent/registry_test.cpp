// The registry as data: 116 entries in ascending SNMP order, chained by
// their successors, with the column test and the types the MIB defines.
#include <gtest/gtest.h>

#include <set>

#include "mib/mib_registry.h"
#include "mib/mib_support.h"

TEST(MibRegistry, EntriesAscendAndChain)
{
    for (int n = 0; n < MIB_ENTRY_COUNT; n++) {
        const MibEntry& entry = g_mibRegistry[n];
        EXPECT_EQ(entry.number, n);
        EXPECT_EQ(entry.successor, n + 1 < MIB_ENTRY_COUNT ? &g_mibRegistry[n + 1] : NULL) << n;
        EXPECT_EQ(entry.access, (UINT)MIB_ACCESS_READ_ONLY) << n;
        EXPECT_EQ(IsColumnEntry(n), entry.suffixLength == 6) << n;
        if (n > 0) {
            const MibEntry& before = g_mibRegistry[n - 1];
            EXPECT_LT(CompareOids(before.suffix, before.suffixLength, entry.suffix, entry.suffixLength), 0) << n;
        }
    }
}

TEST(MibRegistry, TextEntries)
{
    // Entry [36] starts as INTEGER; it turns into text only at run time.
    const std::set<int> texts = {0, 2, 3, 8, 27, 32, 40, 41, 42, 59, 67, 68, 75, 76, 77, 88, 89, 90, 93, 110, 111, 112, 113};
    for (int n = 0; n < MIB_ENTRY_COUNT; n++) {
        BYTE expected = texts.count(n) ? ASN_OCTETSTRING : IsColumnEntry(n) || n == 1 ? ASN_INTEGER : ASN_NULL;
        EXPECT_EQ(g_mibRegistry[n].asnType, expected) << n;
    }
}

TEST(MibSupport, SnmpOrder)
{
    const UINT a[] = {1, 3, 6};
    const UINT b[] = {1, 3, 6, 0};
    const UINT c[] = {1, 4};
    const UINT d[] = {1, 4294967295u};
    EXPECT_LT(CompareOids(a, 3, b, 4), 0);
    EXPECT_LT(CompareOids(b, 4, c, 2), 0);
    EXPECT_LT(CompareOids(c, 2, d, 2), 0);
    EXPECT_GT(CompareOids(d, 2, a, 3), 0);
    EXPECT_EQ(CompareOids(a, 3, a, 3), 0);
    EXPECT_LT(CompareOids(a, 0, a, 1), 0);
    BYTE bytes[8];
    const UINT arcs[] = {0x04030201, 32473};
    CopyArcs(arcs, bytes, 2);
    const BYTE expected[] = {1, 2, 3, 4, 0xD9, 0x7E, 0, 0};
    EXPECT_EQ(memcmp(bytes, expected, 8), 0);
}
