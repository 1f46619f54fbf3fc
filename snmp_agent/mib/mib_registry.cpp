// The registry: 116 entries in ascending OID order below the view prefix.
// Writable data: the drive table's column 2 turns into a text column once
// a controller that names its drives has been seen.
#include "mib_registry.h"

#include "../agent_state.h"
#include "../inventory/inventory_cache.h"
#include "mib_handlers.h"

UINT g_viewPrefixArcs[VIEW_PREFIX_ARCS] = {1, 3, 6, 1, 4, 1, 32473};

static char g_vendorText[] = "Vantrel Technology, Inc.";

#define DRIVE_NAME_ENTRY 36

#define SCALAR(n, k, storage, type) \
    {5, {1, 1, 1, k, 0}, (void*)(storage), n, type, MIB_ACCESS_READ_ONLY, HandleScalar, &g_mibRegistry[(n) + 1]}
#define TABLE_NODE(n, t, handler) \
    {4, {1, 1, 1, t}, NULL, n, ASN_NULL, MIB_ACCESS_READ_ONLY, handler, &g_mibRegistry[(n) + 1]}
#define ROW_NODE(n, t, handler) \
    {5, {1, 1, 1, t, 1}, NULL, n, ASN_NULL, MIB_ACCESS_READ_ONLY, handler, &g_mibRegistry[(n) + 1]}
#define COLUMN(n, t, c, type, handler) \
    {6, {1, 1, 1, t, 1, c}, NULL, n, type, MIB_ACCESS_READ_ONLY, handler, &g_mibRegistry[(n) + 1]}
#define LAST_COLUMN(n, t, c, type, handler) \
    {6, {1, 1, 1, t, 1, c}, NULL, n, type, MIB_ACCESS_READ_ONLY, handler, NULL}

MibEntry g_mibRegistry[MIB_ENTRY_COUNT] = {
    // Scalars
    SCALAR(0, 1, g_vendorText, ASN_OCTETSTRING),
    SCALAR(1, 2, &g_discoveryStatus, ASN_INTEGER),
    SCALAR(2, 3, g_inventory.controllerModelText, ASN_OCTETSTRING),
    SCALAR(3, 4, g_inventory.driverVersionText, ASN_OCTETSTRING),
    // Controller table
    TABLE_NODE(4, 5, HandleControllerTable),
    ROW_NODE(5, 5, HandleControllerTable),
    COLUMN(6, 5, 1, ASN_INTEGER, HandleControllerTable),
    COLUMN(7, 5, 2, ASN_INTEGER, HandleControllerTable),
    COLUMN(8, 5, 3, ASN_OCTETSTRING, HandleControllerTable),
    COLUMN(9, 5, 4, ASN_INTEGER, HandleControllerTable),
    COLUMN(10, 5, 5, ASN_INTEGER, HandleControllerTable),
    COLUMN(11, 5, 7, ASN_INTEGER, HandleControllerTable),
    COLUMN(12, 5, 8, ASN_INTEGER, HandleControllerTable),
    COLUMN(13, 5, 14, ASN_INTEGER, HandleControllerTable),
    COLUMN(14, 5, 15, ASN_INTEGER, HandleControllerTable),
    COLUMN(15, 5, 16, ASN_INTEGER, HandleControllerTable),
    COLUMN(16, 5, 17, ASN_INTEGER, HandleControllerTable),
    COLUMN(17, 5, 18, ASN_INTEGER, HandleControllerTable),
    COLUMN(18, 5, 19, ASN_INTEGER, HandleControllerTable),
    COLUMN(19, 5, 20, ASN_INTEGER, HandleControllerTable),
    COLUMN(20, 5, 21, ASN_INTEGER, HandleControllerTable),
    COLUMN(21, 5, 22, ASN_INTEGER, HandleControllerTable),
    COLUMN(22, 5, 23, ASN_INTEGER, HandleControllerTable),
    COLUMN(23, 5, 24, ASN_INTEGER, HandleControllerTable),
    COLUMN(24, 5, 25, ASN_INTEGER, HandleControllerTable),
    COLUMN(25, 5, 26, ASN_INTEGER, HandleControllerTable),
    COLUMN(26, 5, 27, ASN_INTEGER, HandleControllerTable),
    COLUMN(27, 5, 29, ASN_OCTETSTRING, HandleControllerTable),
    COLUMN(28, 5, 30, ASN_INTEGER, HandleControllerTable),
    COLUMN(29, 5, 31, ASN_INTEGER, HandleControllerTable),
    COLUMN(30, 5, 32, ASN_INTEGER, HandleControllerTable),
    COLUMN(31, 5, 33, ASN_INTEGER, HandleControllerTable),
    COLUMN(32, 5, 34, ASN_OCTETSTRING, HandleControllerTable),
    // Physical drive table
    TABLE_NODE(33, 6, HandleDriveTable),
    ROW_NODE(34, 6, HandleDriveTable),
    COLUMN(35, 6, 1, ASN_INTEGER, HandleDriveTable),
    COLUMN(36, 6, 2, ASN_INTEGER, HandleDriveTable),
    COLUMN(37, 6, 3, ASN_INTEGER, HandleDriveTable),
    COLUMN(38, 6, 4, ASN_INTEGER, HandleDriveTable),
    COLUMN(39, 6, 5, ASN_INTEGER, HandleDriveTable),
    COLUMN(40, 6, 6, ASN_OCTETSTRING, HandleDriveTable),
    COLUMN(41, 6, 7, ASN_OCTETSTRING, HandleDriveTable),
    COLUMN(42, 6, 8, ASN_OCTETSTRING, HandleDriveTable),
    COLUMN(43, 6, 9, ASN_INTEGER, HandleDriveTable),
    COLUMN(44, 6, 10, ASN_INTEGER, HandleDriveTable),
    COLUMN(45, 6, 11, ASN_INTEGER, HandleDriveTable),
    COLUMN(46, 6, 12, ASN_INTEGER, HandleDriveTable),
    COLUMN(47, 6, 13, ASN_INTEGER, HandleDriveTable),
    COLUMN(48, 6, 14, ASN_INTEGER, HandleDriveTable),
    COLUMN(49, 6, 15, ASN_INTEGER, HandleDriveTable),
    COLUMN(50, 6, 16, ASN_INTEGER, HandleDriveTable),
    COLUMN(51, 6, 17, ASN_INTEGER, HandleDriveTable),
    COLUMN(52, 6, 18, ASN_INTEGER, HandleDriveTable),
    COLUMN(53, 6, 19, ASN_INTEGER, HandleDriveTable),
    COLUMN(54, 6, 20, ASN_INTEGER, HandleDriveTable),
    COLUMN(55, 6, 21, ASN_INTEGER, HandleDriveTable),
    COLUMN(56, 6, 22, ASN_INTEGER, HandleDriveTable),
    COLUMN(57, 6, 23, ASN_INTEGER, HandleDriveTable),
    COLUMN(58, 6, 24, ASN_INTEGER, HandleDriveTable),
    COLUMN(59, 6, 25, ASN_OCTETSTRING, HandleDriveTable),
    COLUMN(60, 6, 26, ASN_INTEGER, HandleDriveTable),
    COLUMN(61, 6, 27, ASN_INTEGER, HandleDriveTable),
    // Battery table
    TABLE_NODE(62, 7, HandleBatteryTable),
    ROW_NODE(63, 7, HandleBatteryTable),
    COLUMN(64, 7, 1, ASN_INTEGER, HandleBatteryTable),
    COLUMN(65, 7, 2, ASN_INTEGER, HandleBatteryTable),
    COLUMN(66, 7, 3, ASN_INTEGER, HandleBatteryTable),
    COLUMN(67, 7, 4, ASN_OCTETSTRING, HandleBatteryTable),
    COLUMN(68, 7, 5, ASN_OCTETSTRING, HandleBatteryTable),
    // Extent table
    TABLE_NODE(69, 8, HandleExtentTable),
    ROW_NODE(70, 8, HandleExtentTable),
    COLUMN(71, 8, 1, ASN_INTEGER, HandleExtentTable),
    COLUMN(72, 8, 2, ASN_INTEGER, HandleExtentTable),
    COLUMN(73, 8, 3, ASN_INTEGER, HandleExtentTable),
    COLUMN(74, 8, 4, ASN_INTEGER, HandleExtentTable),
    COLUMN(75, 8, 5, ASN_OCTETSTRING, HandleExtentTable),
    COLUMN(76, 8, 6, ASN_OCTETSTRING, HandleExtentTable),
    COLUMN(77, 8, 7, ASN_OCTETSTRING, HandleExtentTable),
    COLUMN(78, 8, 8, ASN_INTEGER, HandleExtentTable),
    COLUMN(79, 8, 9, ASN_INTEGER, HandleExtentTable),
    COLUMN(80, 8, 10, ASN_INTEGER, HandleExtentTable),
    COLUMN(81, 8, 11, ASN_INTEGER, HandleExtentTable),
    COLUMN(82, 8, 12, ASN_INTEGER, HandleExtentTable),
    // Logical drive table
    TABLE_NODE(83, 9, HandleLogicalDriveTable),
    ROW_NODE(84, 9, HandleLogicalDriveTable),
    COLUMN(85, 9, 1, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(86, 9, 2, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(87, 9, 3, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(88, 9, 4, ASN_OCTETSTRING, HandleLogicalDriveTable),
    COLUMN(89, 9, 5, ASN_OCTETSTRING, HandleLogicalDriveTable),
    COLUMN(90, 9, 6, ASN_OCTETSTRING, HandleLogicalDriveTable),
    COLUMN(91, 9, 7, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(92, 9, 8, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(93, 9, 9, ASN_OCTETSTRING, HandleLogicalDriveTable),
    COLUMN(94, 9, 10, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(95, 9, 11, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(96, 9, 12, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(97, 9, 13, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(98, 9, 14, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(99, 9, 15, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(100, 9, 16, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(101, 9, 17, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(102, 9, 18, ASN_INTEGER, HandleLogicalDriveTable),
    COLUMN(103, 9, 19, ASN_INTEGER, HandleLogicalDriveTable),
    // Enclosure table
    TABLE_NODE(104, 10, HandleEnclosureTable),
    ROW_NODE(105, 10, HandleEnclosureTable),
    COLUMN(106, 10, 1, ASN_INTEGER, HandleEnclosureTable),
    COLUMN(107, 10, 2, ASN_INTEGER, HandleEnclosureTable),
    COLUMN(108, 10, 3, ASN_INTEGER, HandleEnclosureTable),
    COLUMN(109, 10, 4, ASN_INTEGER, HandleEnclosureTable),
    COLUMN(110, 10, 5, ASN_OCTETSTRING, HandleEnclosureTable),
    COLUMN(111, 10, 6, ASN_OCTETSTRING, HandleEnclosureTable),
    COLUMN(112, 10, 7, ASN_OCTETSTRING, HandleEnclosureTable),
    COLUMN(113, 10, 8, ASN_OCTETSTRING, HandleEnclosureTable),
    COLUMN(114, 10, 9, ASN_INTEGER, HandleEnclosureTable),
    LAST_COLUMN(115, 10, 10, ASN_INTEGER, HandleEnclosureTable),
};

static const struct { int first; int last; } g_columnRanges[] = {
    {6, 32}, {35, 61}, {64, 68}, {71, 82}, {85, 103}, {106, 115},
};

BOOL IsColumnEntry(int entryNumber)
{
    for (size_t k = 0; k < sizeof(g_columnRanges) / sizeof(g_columnRanges[0]); k++)
        if (entryNumber >= g_columnRanges[k].first && entryNumber <= g_columnRanges[k].last)
            return TRUE;
    return FALSE;
}

void ShowDriveNamesInDriveTable()
{
    g_mibRegistry[DRIVE_NAME_ENTRY].asnType = ASN_OCTETSTRING;
}

AsnObjectIdentifier ViewPrefix()
{
    AsnObjectIdentifier prefix;
    prefix.idLength = VIEW_PREFIX_ARCS;
    prefix.ids = g_viewPrefixArcs;
    return prefix;
}
