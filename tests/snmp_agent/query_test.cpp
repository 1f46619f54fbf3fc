// Requests through SnmpExtensionQuery against the agent's own sources,
// with the storage library replaced by byte fixtures.
#include <gtest/gtest.h>

#include <algorithm>

#include "agent_query.h"
#include "fake_storage_library.h"
#include "inventory/inventory_cache.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

// The columns of each table, as the MIB defines them.
const std::vector<std::pair<UINT, std::vector<UINT>>> kTableColumns = {
    {5, {1, 2, 3, 4, 5, 7, 8, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 29, 30, 31, 32, 33, 34}},
    {6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}},
    {7, {1, 2, 3, 4, 5}},
    {8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    {9, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    {10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
};

// Every instance in walk order for the given row counts of tables 5 to 10.
std::vector<Oid> ExpectedInstances(const std::vector<int>& rowCounts)
{
    std::vector<Oid> instances;
    for (UINT k = 1; k <= 4; k++)
        instances.push_back(Mib({1, 1, 1, k, 0}));
    for (size_t t = 0; t < kTableColumns.size(); t++)
        for (UINT column : kTableColumns[t].second)
            for (int row = 1; row <= rowCounts[t]; row++)
                instances.push_back(Mib({1, 1, 1, kTableColumns[t].first, 1, column, (UINT)row}));
    return instances;
}

void LoadAgent()
{
    static bool loaded = false;
    if (loaded) {
        RefreshInventory();
        return;
    }
    DllMain(NULL, DLL_PROCESS_ATTACH, NULL);
    loaded = true;
}

// Two controllers: the first with a battery, three drives (three extents),
// two arrays and one enclosure; the second with one drive and one array.
void SetUpTwoControllers()
{
    ResetFakeLibrary();
    FakeLibrary& library = g_fakeLibrary;
    library.controllerCount = 2;
    library.driverVersion[0] = 3;
    library.driverVersion[1] = 1;
    library.driverVersion[2] = 0;
    library.driverVersion[3] = 12;
    FakeController& first = library.controllers[0];
    first.SetDevice(0x3320, 0);
    first.SetBattery(0x81, 3131, 12000);
    size_t drive = first.AddDrive(0);
    first.AddExtent(drive, 1, 0, 0, 0, 2048);
    first.AddExtent(drive, 2, 0, 1, 2048, 2048);
    first.AddExtent(first.AddDrive(1), 3, 0, 0, 0, 2048);
    first.AddDrive(2);
    PutText(first.logicalDriveList, first.AddLogicalDrive(0) + 52, "Boot");
    PutU32(first.logicalDriveList, first.AddLogicalDrive(1) + 4, 1u << 25);
    first.enclosureKinds[0] = 1;
    Bytes status(I2_ENCLOSURE_STATUS_BYTES);
    PutU8(status, 68, 1);
    PutU32(status, 72, 1500);
    PutU8(status, 76, 1);
    PutU32(status, 80, 1600);
    first.enclosureStatus[0] = status;
    FakeController& second = library.controllers[1];
    second.SetDevice(0x3515, 0x3515);
    second.AddDrive(0);
    second.AddLogicalDrive(0);
}

const std::vector<int> kTwoControllerRows = {2, 4, 1, 3, 3, 1};

// Battery, extent and logical drive tables empty between full ones.
void SetUpEmptyMiddleTables()
{
    ResetFakeLibrary();
    g_fakeLibrary.controllerCount = 1;
    g_fakeLibrary.controllers[0].AddDrive(0);
    g_fakeLibrary.controllers[0].AddDrive(1);
    g_fakeLibrary.controllers[0].enclosureKinds[0] = 2;
}

const std::vector<int> kEmptyMiddleRows = {1, 2, 0, 0, 0, 1};

AsnInteger32 g_status;

BindingAnswer Get(const Oid& name)
{
    return QueryOne(SnmpExtensionQuery, SNMP_PDU_GET, name, &g_status);
}

BindingAnswer GetNext(const Oid& name)
{
    return QueryOne(SnmpExtensionQuery, SNMP_PDU_GETNEXT, name, &g_status);
}

class AgentQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpTwoControllers();
        LoadAgent();
    }
};

TEST_F(AgentQueryTest, Scalars)
{
    const struct { UINT scalar; BYTE type; AsnInteger32 number; const char* text; } cases[] = {
        {1, ASN_OCTETSTRING, 0, "Vantrel Technology, Inc."},
        {2, ASN_INTEGER, 7, ""},
        {3, ASN_OCTETSTRING, 0, "Vantrel KX4320 SATA RAID"},
        {4, ASN_OCTETSTRING, 0, "3.1.0.12"},
    };
    for (const auto& c : cases) {
        BindingAnswer answer = Get(Mib({1, 1, 1, c.scalar, 0}));
        EXPECT_EQ(g_status, SNMP_ERRORSTATUS_NOERROR) << c.scalar;
        EXPECT_EQ(answer.type, c.type) << c.scalar;
        EXPECT_EQ(answer.number, c.number) << c.scalar;
        EXPECT_EQ(answer.text, c.text) << c.scalar;
    }
}

struct RequestCase {
    BYTE requestType;
    Oid name;
    AsnInteger32 status;
    Oid answeredName;  // empty: the request's name
    BYTE type;
    AsnInteger32 number;
    std::string text;
};

void CheckRequests(const std::vector<RequestCase>& cases)
{
    for (const RequestCase& c : cases) {
        BindingAnswer answer = QueryOne(SnmpExtensionQuery, c.requestType, c.name, &g_status);
        std::string where = std::to_string(c.requestType) + " " + OidText(c.name);
        EXPECT_EQ(g_status, c.status) << where;
        EXPECT_EQ(OidText(answer.name), OidText(c.answeredName.empty() ? c.name : c.answeredName)) << where;
        EXPECT_EQ(answer.type, c.type) << where;
        if (c.type == ASN_INTEGER) {
            EXPECT_EQ(answer.number, c.number) << where;
        }
        if (c.type == ASN_OCTETSTRING) {
            EXPECT_EQ(answer.text, c.text) << where;
        }
    }
}

const BYTE GET = SNMP_PDU_GET;
const BYTE NEXT = SNMP_PDU_GETNEXT;
const BYTE SET = SNMP_PDU_SET;
const AsnInteger32 OK = SNMP_ERRORSTATUS_NOERROR;
const AsnInteger32 NO_NAME = SNMP_ERRORSTATUS_NOSUCHNAME;
const BYTE INT = ASN_INTEGER;
const BYTE TEXT = ASN_OCTETSTRING;
const BYTE NUL = ASN_NULL;

TEST_F(AgentQueryTest, ScalarNamesAndSteps)
{
    CheckRequests({
        {GET, Mib({1, 1, 1, 1}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 1, 0, 5}), NO_NAME, {}, NUL, 0, ""},
        {NEXT, Mib({}), OK, Mib({1, 1, 1, 1, 0}), TEXT, 0, "Vantrel Technology, Inc."},
        {NEXT, Mib({1, 1, 1, 1, 0, 5}), OK, Mib({1, 1, 1, 2, 0}), INT, 7, ""},
        {NEXT, Mib({1, 1, 1, 3}), OK, Mib({1, 1, 1, 3, 0}), TEXT, 0, "Vantrel KX4320 SATA RAID"},
        // Table and row nodes hold no value: the walk goes on to row 1 of column 1.
        {NEXT, Mib({1, 1, 1, 4, 0}), OK, Mib({1, 1, 1, 5, 1, 1, 1}), INT, 1, ""},
        {NEXT, Mib({1, 1, 1, 5}), OK, Mib({1, 1, 1, 5, 1, 1, 1}), INT, 1, ""},
        {NEXT, Mib({1, 1, 1, 5, 1}), OK, Mib({1, 1, 1, 5, 1, 1, 1}), INT, 1, ""},
        {GET, Mib({1, 1, 1, 5}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 5, 1}), NO_NAME, {}, NUL, 0, ""},
    });
}

TEST_F(AgentQueryTest, TableGets)
{
    CheckRequests({
        {GET, Mib({1, 1, 1, 7, 1, 4, 1}), OK, {}, TEXT, 0, "40.000001 C"},
        {GET, Mib({1, 1, 1, 7, 1, 5, 1}), OK, {}, TEXT, 0, "12.000001 V"},
        {GET, Mib({1, 1, 1, 7, 1, 3, 1}), OK, {}, INT, 1, ""},
        {GET, Mib({1, 1, 1, 7, 1, 4, 2}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 7, 1, 4, 0}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 7, 1, 4, 1, 0}), NO_NAME, {}, NUL, 0, ""},
        // A column's own OID answers its first row under the extended name.
        {GET, Mib({1, 1, 1, 7, 1, 2}), OK, Mib({1, 1, 1, 7, 1, 2, 1}), INT, 1, ""},
        {GET, Mib({1, 1, 1, 5, 1, 6, 1}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 5, 1, 3, 2}), OK, {}, TEXT, 0, "Vantrel KX6515 SAS RAID"},
        {GET, Mib({1, 1, 1, 5, 1, 24, 1}), OK, {}, INT, 2, ""},
        {GET, Mib({1, 1, 1, 6, 1, 2, 1}), OK, {}, INT, 1, ""},
        // The second controller's drive follows the first one's three.
        {GET, Mib({1, 1, 1, 6, 1, 1, 4}), OK, {}, INT, 4, ""},
        {GET, Mib({1, 1, 1, 6, 1, 3, 4}), OK, {}, INT, 2, ""},
        {GET, Mib({1, 1, 1, 6, 1, 25, 1}), OK, {}, TEXT, 0, "1,2"},
        {GET, Mib({1, 1, 1, 8, 1, 12, 2}), OK, {}, INT, 2, ""},
        {GET, Mib({1, 1, 1, 9, 1, 4, 1}), OK, {}, TEXT, 0, "Boot"},
        {GET, Mib({1, 1, 1, 9, 1, 2, 3}), OK, {}, INT, 2, ""},
        {GET, Mib({1, 1, 1, 9, 1, 3, 3}), OK, {}, INT, 1, ""},
        {GET, Mib({1, 1, 1, 10, 1, 2, 1}), OK, {}, INT, 0, ""},
        {GET, Mib({1, 1, 1, 10, 1, 9, 1}), OK, {}, INT, 1500, ""},
        {GET, Mib({1, 1, 1, 10, 1, 10, 1}), OK, {}, INT, 1600, ""},
        {GET, Mib({1, 1, 1, 10, 1, 8, 1}), OK, {}, TEXT, 0, ""},
    });
}

TEST_F(AgentQueryTest, TableSteps)
{
    CheckRequests({
        {NEXT, Mib({1, 1, 1, 9, 1, 11, 3}), OK, Mib({1, 1, 1, 9, 1, 12, 1}), INT, 2, ""},
        {NEXT, Mib({1, 1, 1, 9, 1, 12, 1}), OK, Mib({1, 1, 1, 9, 1, 12, 2}), INT, 1, ""},
        {NEXT, Mib({1, 1, 1, 5, 1, 5, 2}), OK, Mib({1, 1, 1, 5, 1, 7, 1}), INT, 0, ""},
        {NEXT, Mib({1, 1, 1, 5, 1, 6}), OK, Mib({1, 1, 1, 5, 1, 7, 1}), INT, 0, ""},
        {NEXT, Mib({1, 1, 1, 9, 1, 4, 0}), OK, Mib({1, 1, 1, 9, 1, 4, 1}), TEXT, 0, "Boot"},
        {NEXT, Mib({1, 1, 1, 9, 1, 4}), OK, Mib({1, 1, 1, 9, 1, 4, 1}), TEXT, 0, "Boot"},
        // Names below an instance step to the next instance, never below it.
        {NEXT, Mib({1, 1, 1, 7, 1, 4, 1, 0}), OK, Mib({1, 1, 1, 7, 1, 5, 1}), TEXT, 0, "12.000001 V"},
        {NEXT, Mib({1, 1, 1, 9, 1, 4, 1, 7, 7}), OK, Mib({1, 1, 1, 9, 1, 4, 2}), TEXT, 0, ""},
        {NEXT, Mib({1, 1, 1, 7, 1, 3, 2147483647}), OK, Mib({1, 1, 1, 7, 1, 4, 1}), TEXT, 0, "40.000001 C"},
        {NEXT, Mib({1, 1, 1, 7, 1, 3, 4294967295u}), OK, Mib({1, 1, 1, 7, 1, 4, 1}), TEXT, 0, "40.000001 C"},
        {NEXT, Mib({1, 1, 1, 5, 1, 34, 2}), OK, Mib({1, 1, 1, 6, 1, 1, 1}), INT, 1, ""},
        {NEXT, Mib({1, 1, 1, 10, 1, 10, 1}), OK, kEndOfRegion, NUL, 0, ""},
        {NEXT, Mib({1, 1, 1, 10, 1, 10, 1, 0}), OK, kEndOfRegion, NUL, 0, ""},
        {NEXT, Mib({1, 1, 1, 11}), OK, kEndOfRegion, NUL, 0, ""},
    });
}

TEST_F(AgentQueryTest, SetNeverSucceeds)
{
    CheckRequests({
        {SET, Mib({1, 1, 1, 2, 0}), NO_NAME, {}, NUL, 0, ""},
        {SET, Mib({1, 1, 1, 7, 1, 4, 1}), NO_NAME, {}, NUL, 0, ""},
        {SET, Mib({1, 1, 1, 7, 1, 2}), NO_NAME, {}, NUL, 0, ""},
        {SET, Mib({1, 1, 1, 5}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 2, 0}), OK, {}, INT, 7, ""},
    });
}

TEST_F(AgentQueryTest, WalkVisitsEveryInstanceOnceInOrder)
{
    std::vector<Oid> visited = Walk(SnmpExtensionQuery);
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited.back(), kEndOfRegion);
    visited.pop_back();
    EXPECT_EQ(visited, ExpectedInstances(kTwoControllerRows));
}

TEST_F(AgentQueryTest, WalkStepsOverEmptyTables)
{
    SetUpEmptyMiddleTables();
    RefreshInventory();
    std::vector<Oid> visited = Walk(SnmpExtensionQuery);
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited.back(), kEndOfRegion);
    visited.pop_back();
    EXPECT_EQ(visited, ExpectedInstances(kEmptyMiddleRows));
    CheckRequests({{NEXT, Mib({1, 1, 1, 8, 1}), OK, Mib({1, 1, 1, 10, 1, 1, 1}), INT, 1, ""}});
}

TEST_F(AgentQueryTest, ThreeBindingsStopAtTheFailingOne)
{
    QueryAnswer answer = Query(SnmpExtensionQuery, SNMP_PDU_GET,
                               {Mib({1, 1, 1, 2, 0}), Mib({1, 1, 1, 7, 1, 4, 9}), Mib({1, 1, 1, 1, 0})});
    EXPECT_TRUE(answer.result);
    EXPECT_EQ(answer.status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(answer.index, 2);
    EXPECT_EQ(answer.bindings[0].number, 7);
    EXPECT_EQ(answer.bindings[2].type, ASN_NULL);

    answer = Query(SnmpExtensionQuery, SNMP_PDU_GETNEXT,
                   {Mib({1, 1, 1, 1, 0}), Mib({1, 1, 1, 10, 1, 10, 1}), Mib({1, 1, 1, 2, 0})});
    EXPECT_EQ(answer.status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(answer.index, -7);
    EXPECT_EQ(answer.bindings[1].name, kEndOfRegion);
    EXPECT_EQ(answer.bindings[2].name, Mib({1, 1, 1, 3, 0}));
}

TEST_F(AgentQueryTest, EmptyBindingListWritesNeitherStatusNorIndex)
{
    for (BYTE type : {GET, NEXT, SET}) {
        QueryAnswer answer = Query(SnmpExtensionQuery, type, {});
        EXPECT_TRUE(answer.result);
        EXPECT_EQ(answer.status, -7);
        EXPECT_EQ(answer.index, -7);
    }
}

TEST_F(AgentQueryTest, BadNames)
{
    Oid longName = Mib({1, 1, 1, 1, 0});
    longName.resize(128, 0);
    Oid longColumnName = Mib({1, 1, 1, 7, 1, 4, 1});
    longColumnName.resize(128, 4294967295u);
    const Oid first = Mib({1, 1, 1, 1, 0});
    const std::vector<std::pair<Oid, Oid>> namesAndNext = {
        {{}, first},
        {{1}, first},
        {{0}, first},
        {{4294967295u}, kEndOfRegion},
        {{1, 3, 6, 1, 4, 1, 32472, 9}, first},
        {{1, 3, 6, 1, 4, 1, 32474}, kEndOfRegion},
        {Mib({0}), first},
        {Mib({4294967295u}), kEndOfRegion},
        {Mib({1, 1, 1, 0}), first},
        {Mib({1, 1, 1, 4294967295u}), kEndOfRegion},
        {longName, Mib({1, 1, 1, 2, 0})},
        {longColumnName, Mib({1, 1, 1, 7, 1, 5, 1})},
    };
    for (const auto& c : namesAndNext) {
        for (BYTE type : {GET, SET}) {
            QueryOne(SnmpExtensionQuery, type, c.first, &g_status);
            EXPECT_EQ(g_status, SNMP_ERRORSTATUS_NOSUCHNAME) << (int)type << " " << OidText(c.first);
        }
        BindingAnswer next = GetNext(c.first);
        EXPECT_EQ(g_status, SNMP_ERRORSTATUS_NOERROR) << OidText(c.first);
        EXPECT_EQ(OidText(next.name), OidText(c.second));
    }
    // A request type the agent does not know: genErr wherever an entry
    // takes the name, noSuchName where none does.
    const std::pair<Oid, AsnInteger32> unknownType[] = {
        {first, SNMP_ERRORSTATUS_GENERR},
        {Mib({1, 1, 1, 7, 1, 4, 1}), SNMP_ERRORSTATUS_GENERR},
        {longColumnName, SNMP_ERRORSTATUS_GENERR},
        {Mib({1, 1, 1, 1, 0, 5}), SNMP_ERRORSTATUS_NOSUCHNAME},
        {{}, SNMP_ERRORSTATUS_NOSUCHNAME},
        {kEndOfRegion, SNMP_ERRORSTATUS_NOSUCHNAME},
    };
    for (const auto& c : unknownType) {
        QueryOne(SnmpExtensionQuery, 0xA4, c.first, &g_status);
        EXPECT_EQ(g_status, c.second) << OidText(c.first);
    }
}

// Repeated requests of every kind leave nothing behind on the heap the
// SNMP utility library allocates from.
TEST_F(AgentQueryTest, RequestsLeakNothing)
{
    auto busyBytes = [] {
        SIZE_T busy = 0;
        PROCESS_HEAP_ENTRY entry = {};
        HANDLE heap = GetProcessHeap();
        HeapLock(heap);
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        HeapUnlock(heap);
        return busy;
    };
    auto oneRound = [] {
        for (BYTE type : {GET, NEXT, SET, (BYTE)0xA4})
            Query(SnmpExtensionQuery, type,
                  {{}, Mib({1, 1, 1, 1, 0}), Mib({1, 1, 1, 7, 1, 4, 1}), Mib({1, 1, 1, 7, 1, 2}),
                   Mib({1, 1, 1, 10, 1, 10, 1}), Mib({1, 1, 1, 6})});
    };
    oneRound();
    SIZE_T before = busyBytes();
    for (int k = 0; k < 200; k++)
        oneRound();
    EXPECT_LT(busyBytes(), before + 1024);
}

TEST_F(AgentQueryTest, NoControllerKeepsTheOtherTables)
{
    g_fakeLibrary.controllerCount = 0;
    g_fakeLibrary.driverVersion[3] = 13;
    RefreshInventory();
    CheckRequests({
        {GET, Mib({1, 1, 1, 3, 0}), OK, {}, TEXT, 0, ""},
        {GET, Mib({1, 1, 1, 4, 0}), OK, {}, TEXT, 0, "3.1.0.13"},
        {GET, Mib({1, 1, 1, 5, 1, 1, 1}), NO_NAME, {}, NUL, 0, ""},
        {NEXT, Mib({1, 1, 1, 4, 0}), OK, Mib({1, 1, 1, 6, 1, 1, 1}), INT, 1, ""},
        {GET, Mib({1, 1, 1, 7, 1, 4, 1}), OK, {}, TEXT, 0, "40.000001 C"},
    });
    // A count the library does not write stays 0.
    g_fakeLibrary.controllerCount = 2;
    g_fakeLibrary.writeControllerCount = FALSE;
    RefreshInventory();
    CheckRequests({{GET, Mib({1, 1, 1, 5, 1, 1, 1}), NO_NAME, {}, NUL, 0, ""}});
}

TEST_F(AgentQueryTest, LostBatteryLeavesItsTableButKeepsTheControllerState)
{
    g_fakeLibrary.controllers[0].SetBattery(0, 0, 0);
    RefreshInventory();
    CheckRequests({
        {GET, Mib({1, 1, 1, 7, 1, 1, 1}), NO_NAME, {}, NUL, 0, ""},
        {GET, Mib({1, 1, 1, 5, 1, 24, 1}), OK, {}, INT, 2, ""},
        {NEXT, Mib({1, 1, 1, 6, 1, 27, 4}), OK, Mib({1, 1, 1, 8, 1, 1, 1}), INT, 1, ""},
    });
}

TEST_F(AgentQueryTest, ControllerCountStopsAtTheTable)
{
    g_fakeLibrary.controllerCount = 5;
    for (int i = 2; i < 5; i++)
        g_fakeLibrary.controllers[i].AddDrive(0);
    RefreshInventory();
    std::vector<Oid> visited = Walk(SnmpExtensionQuery);
    visited.pop_back();
    EXPECT_EQ(visited, ExpectedInstances(kTwoControllerRows));
}

TEST_F(AgentQueryTest, EsataNamingControllerSwitchesDriveColumnTwoForGood)
{
    CheckRequests({{GET, Mib({1, 1, 1, 6, 1, 2, 2}), OK, {}, INT, 2, ""}});
    g_fakeLibrary.controllers[1].SetDevice(0x3F20, 0x1010);
    RefreshInventory();
    CheckRequests({
        {GET, Mib({1, 1, 1, 6, 1, 2, 1}), OK, {}, TEXT, 0, "Disk 1"},
        {GET, Mib({1, 1, 1, 6, 1, 2, 3}), OK, {}, TEXT, 0, "eSATA 2"},
        {NEXT, Mib({1, 1, 1, 6, 1, 1, 4}), OK, Mib({1, 1, 1, 6, 1, 2, 1}), TEXT, 0, "Disk 1"},
    });
    g_fakeLibrary.controllerCount = 1;
    RefreshInventory();
    CheckRequests({{GET, Mib({1, 1, 1, 6, 1, 2, 2}), OK, {}, TEXT, 0, "Disk 2"}});
}

}  // namespace
