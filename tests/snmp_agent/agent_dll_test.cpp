// The real KalvSnmp.dll, loaded beside the storage library simulator and
// called through its four exports as the SNMP service calls them.
#include <gtest/gtest.h>

#include <windows.h>
#include <snmp.h>

#include <fstream>
#include <string>

#include "agent_dll.h"
#include "agent_query.h"
#include "test_support.h"

namespace {

const BYTE GET = SNMP_PDU_GET;
const BYTE NEXT = SNMP_PDU_GETNEXT;
const AsnInteger32 OK = SNMP_ERRORSTATUS_NOERROR;
const AsnInteger32 NO_NAME = SNMP_ERRORSTATUS_NOSUCHNAME;

// Two controllers: the first an eSATA-naming controller with a battery, an
// enclosure, three drives (one extent) and a buzzer that cannot be read;
// the second with one drive and one array.
const char kTwoControllers[] = R"({
  "driverVersion": [3, 2, 0, 41],
  "controllers": [
    { "deviceId": "0x3F20", "subsystemId": "0x1010",
      "firmwareVersion": [2, 5, 0, 1114], "page2Version": [1, 3, 0, 7],
      "failingCalls": ["i2_getBuzzerStatus"],
      "battery": { "status": 129, "temperature": 3131, "voltage": 12000 },
      "enclosures": [ { "kind": 2, "sensors": [ { "type": 5, "value": 30 }, { "type": 5, "value": 41 },
                                                 { "type": 3, "value": 12050 } ] } ],
      "physicalDrives": [
        { "id": 0, "sectors": 1953525168, "text64": "VX2000-1TB", "enclosure": 0, "slot": 3,
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 0, "start": 2048, "sectors": 2097152 } ] },
        { "id": 2, "conditionValid": 1, "condition": 3 },
        { "id": 3 } ] },
    { "deviceId": "0x3320", "buzzer": 0,
      "physicalDrives": [ { "id": 0 } ],
      "logicalDrives": [ { "id": 0, "name": "Data", "level": 1, "cacheFlags": 9,
                           "activityFlags": "0x00000300",
                           "progress": { "rebuild": { "status": 1, "percent": 42 },
                                         "initialisation": { "status": 1, "percent": 17 } } } ] }
  ]
})";
const std::vector<int> kTwoControllerRows = {2, 4, 1, 1, 1, 1};

// Battery, extent and logical drive tables empty between full ones.
const char kEmptyMiddle[] = R"({
  "driverVersion": [1, 0, 0, 0],
  "controllers": [ { "deviceId": "0x3300",
                     "enclosures": [ { "kind": 1 }, { "kind": 1 } ],
                     "physicalDrives": [ { "id": 0 }, { "id": 1 } ] } ]
})";
const std::vector<int> kEmptyMiddleRows = {1, 2, 0, 0, 0, 2};

// More drives than the drive table holds, used lengths and texts that
// overrun their room.
std::string OverfullScenario()
{
    std::string drives;
    for (int d = 0; d < 40; d++)
        drives += std::string(d ? "," : "") + "{ \"id\": " + std::to_string(d) + " }";
    return R"({ "controllers": [
      { "physicalDrives": [ { "id": 0, "text64": ")" + std::string(46, 'T') + R"(", "extentCount": 200,
                              "extents": [ { "code": 1 } ] } ],
        "logicalDriveListUsedLength": "0xFFFFFFFF",
        "logicalDrives": [ { "id": 0 } ] },
      { "physicalDrives": [ )" + drives + R"( ] } ] })";
}

// The columns of each table, as the MIB defines them.
const std::vector<std::pair<UINT, std::vector<UINT>>> kTableColumns = {
    {5, {1, 2, 3, 4, 5, 7, 8, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 29, 30, 31, 32, 33, 34}},
    {6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}},
    {7, {1, 2, 3, 4, 5}},
    {8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    {9, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    {10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
};

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

TEST_F(AgentDllTest, DiscoveryAtLoadLeavesInitNothingToAsk)
{
    Load(kTwoControllers);
    EXPECT_EQ(DiscoveryStatus(), 7);
    EXPECT_EQ(Text(Mib({1, 1, 1, 4, 0})), "3.2.0.41");
    std::vector<std::string> atLoad = LibraryCalls();
    ASSERT_GE(atLoad.size(), 3u);
    EXPECT_EQ(atLoad[0], "i2_initialize - 0");
    EXPECT_EQ(atLoad[1], "i2_discover - 0");
    EXPECT_EQ(atLoad[2], "i2_getDriverInfo 0 0");
    // Neither a new thread nor the initialisation calls the library again.
    WriteScenario(R"({ "driverVersion": [9, 9, 9, 9], "controllers": [ {} ] })");
    RunOneThread();
    HANDLE trapEvent = NULL;
    AsnObjectIdentifier region = {};
    ASSERT_TRUE(Init(&trapEvent, &region));
    EXPECT_EQ(LibraryCalls(), atLoad);
    EXPECT_EQ(Text(Mib({1, 1, 1, 4, 0})), "3.2.0.41");
    EXPECT_EQ(Oid(region.ids, region.ids + region.idLength), Mib({}));
    ASSERT_NE(trapEvent, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(trapEvent, 0), (DWORD)WAIT_TIMEOUT);
    HANDLE drain = OpenEventA(SYNCHRONIZE, FALSE, "_ReaderReading");
    EXPECT_NE(drain, (HANDLE)NULL);
    CloseHandle(drain);
}

TEST_F(AgentDllTest, DiscoveryOutcomesAtLoadAndAtInit)
{
    const struct { int failures; BOOL initResult; int statusAtLoad, statusAfterInit; const char* model; } cases[] = {
        {0, TRUE, 7, 7, "Vantrel HBA (ID=0x3f20)"},
        {1, TRUE, 1, 7, "Vantrel HBA (ID=0x3f20)"},
        {2, FALSE, 1, 1, ""},
    };
    for (const auto& c : cases) {
        std::string scenario = kTwoControllers;
        scenario.insert(1, "\"discoveryFailures\": " + std::to_string(c.failures) + ",");
        Load(scenario);
        EXPECT_EQ(DiscoveryStatus(), c.statusAtLoad) << c.failures;
        HANDLE trapEvent = NULL;
        AsnObjectIdentifier region = {};
        EXPECT_EQ(Init(&trapEvent, &region), c.initResult) << c.failures;
        EXPECT_EQ(DiscoveryStatus(), c.statusAfterInit) << c.failures;
        // The inventory was refreshed before the initialisation returned.
        EXPECT_EQ(Text(Mib({1, 1, 1, 3, 0})), c.model) << c.failures;
        if (!c.initResult) {
            EXPECT_EQ(trapEvent, (HANDLE)NULL);
            EXPECT_EQ(region.ids, (UINT*)NULL);
        }
        Unload();
    }
}

TEST_F(AgentDllTest, NewThreadRetriesAFailedDiscovery)
{
    std::string scenario = kTwoControllers;
    scenario.insert(1, "\"discoveryFailures\": 1,");
    Load(scenario);
    EXPECT_EQ(DiscoveryStatus(), 1);
    RunOneThread();
    EXPECT_EQ(DiscoveryStatus(), 7);
    EXPECT_EQ(Text(Mib({1, 1, 1, 3, 0})), "Vantrel HBA (ID=0x3f20)");
}

TEST_F(AgentDllTest, CloseFinalisesTheLibrary)
{
    Load(kTwoControllers);
    HANDLE trapEvent = NULL;
    AsnObjectIdentifier region = {};
    ASSERT_TRUE(Init(&trapEvent, &region));
    typedef int (*CountCall)(uint32_t*);
    CountCall countControllers = Export<CountCall>(GetModuleHandleW(L"kalvbridge.dll"), "i2_getNumberOfHBA");
    ASSERT_NE(countControllers, (CountCall)NULL);
    uint32_t count = 0;
    EXPECT_EQ(countControllers(&count), 0);
    EXPECT_EQ(count, 2u);
    AsnObjectIdentifier enterprise = {};
    AsnInteger32 generic = -1, specific = -1;
    AsnTimeticks stamp = 0;
    SnmpVarBindList bindings = {};
    EXPECT_FALSE(trap(&enterprise, &generic, &specific, &stamp, &bindings));
    close();
    initialised = false;
    // A finished session answers no query until the next discovery.
    EXPECT_NE(countControllers(&count), 0);
    // The poller made its last request before the library was finalised.
    std::vector<std::string> calls = LibraryCalls(false);
    calls.pop_back();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 1], "i2_finalize - 0");
    EXPECT_EQ(calls[calls.size() - 2].rfind("i2_getHBAEvents", 0), 0u);
}

TEST_F(AgentDllTest, UnloadingDoesNotFinaliseTheLibrary)
{
    Load(kTwoControllers);
    FreeLibrary(agent);
    agent = NULL;
    for (const std::string& call : LibraryCalls(false))
        EXPECT_EQ(call.rfind("i2_finalize", 0), std::string::npos) << call;
}

TEST_F(AgentDllTest, WalkVisitsEveryInstanceOnceInOrder)
{
    const struct { const char* scenario; std::vector<int> rows; } cases[] = {
        {kTwoControllers, kTwoControllerRows},
        {kEmptyMiddle, kEmptyMiddleRows},
        {R"({ "driverVersion": [1, 2, 3, 4] })", {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Load(c.scenario);
        HANDLE trapEvent = NULL;
        AsnObjectIdentifier region = {};
        ASSERT_TRUE(Init(&trapEvent, &region));
        std::vector<Oid> visited = Walk(query);
        ASSERT_FALSE(visited.empty());
        EXPECT_EQ(visited.back(), kEndOfRegion);
        visited.pop_back();
        EXPECT_EQ(visited, ExpectedInstances(c.rows));
        Unload();
    }
}

TEST_F(AgentDllTest, ValuesFromTheSimulatedMachine)
{
    Load(kTwoControllers);
    const struct { Oid name; BYTE type; AsnInteger32 number; const char* text; } cases[] = {
        {Mib({1, 1, 1, 1, 0}), ASN_OCTETSTRING, 0, "Vantrel Technology, Inc."},
        {Mib({1, 1, 1, 3, 0}), ASN_OCTETSTRING, 0, "Vantrel HBA (ID=0x3f20)"},
        {Mib({1, 1, 1, 5, 1, 3, 2}), ASN_OCTETSTRING, 0, "Vantrel KX4320 SATA RAID"},
        {Mib({1, 1, 1, 5, 1, 29, 1}), ASN_OCTETSTRING, 0, "2.5.0.1114"},
        {Mib({1, 1, 1, 5, 1, 34, 1}), ASN_OCTETSTRING, 0, "1.3.0.7"},
        {Mib({1, 1, 1, 5, 1, 33, 1}), ASN_INTEGER, -1, ""},
        {Mib({1, 1, 1, 5, 1, 33, 2}), ASN_INTEGER, 1, ""},
        {Mib({1, 1, 1, 5, 1, 24, 1}), ASN_INTEGER, 2, ""},
        {Mib({1, 1, 1, 5, 1, 18, 1}), ASN_INTEGER, 1, ""},
        // The eSATA-naming controller turns column 2 into drive names.
        {Mib({1, 1, 1, 6, 1, 2, 1}), ASN_OCTETSTRING, 0, "Disk 1"},
        {Mib({1, 1, 1, 6, 1, 2, 2}), ASN_OCTETSTRING, 0, "eSATA 2"},
        {Mib({1, 1, 1, 6, 1, 2, 3}), ASN_OCTETSTRING, 0, "eSATA 1"},
        {Mib({1, 1, 1, 6, 1, 3, 4}), ASN_INTEGER, 2, ""},
        {Mib({1, 1, 1, 6, 1, 1, 4}), ASN_INTEGER, 4, ""},
        {Mib({1, 1, 1, 6, 1, 6, 1}), ASN_OCTETSTRING, 0, "VX2000-1TB"},
        {Mib({1, 1, 1, 6, 1, 8, 1}), ASN_OCTETSTRING, 0, "1000204.89 MB"},
        {Mib({1, 1, 1, 6, 1, 16, 2}), ASN_INTEGER, -1, ""},
        {Mib({1, 1, 1, 6, 1, 21, 1}), ASN_INTEGER, 3, ""},
        {Mib({1, 1, 1, 6, 1, 22, 1}), ASN_INTEGER, 2, ""},
        {Mib({1, 1, 1, 6, 1, 21, 2}), ASN_INTEGER, -1, ""},
        {Mib({1, 1, 1, 6, 1, 25, 1}), ASN_OCTETSTRING, 0, "1"},
        {Mib({1, 1, 1, 7, 1, 4, 1}), ASN_OCTETSTRING, 0, "40.000001 C"},
        {Mib({1, 1, 1, 7, 1, 5, 1}), ASN_OCTETSTRING, 0, "12.000001 V"},
        {Mib({1, 1, 1, 8, 1, 5, 1}), ASN_OCTETSTRING, 0, "1073.74 MB"},
        {Mib({1, 1, 1, 8, 1, 10, 1}), ASN_INTEGER, 2, ""},
        {Mib({1, 1, 1, 9, 1, 2, 1}), ASN_INTEGER, 2, ""},
        {Mib({1, 1, 1, 9, 1, 4, 1}), ASN_OCTETSTRING, 0, "Data"},
        {Mib({1, 1, 1, 9, 1, 9, 1}), ASN_OCTETSTRING, 0, "Auto Switch"},
        {Mib({1, 1, 1, 9, 1, 11, 1}), ASN_INTEGER, 1, ""},
        {Mib({1, 1, 1, 9, 1, 13, 1}), ASN_INTEGER, 17, ""},
        {Mib({1, 1, 1, 10, 1, 5, 1}), ASN_OCTETSTRING, 0, "12.05 V"},
        {Mib({1, 1, 1, 10, 1, 7, 1}), ASN_OCTETSTRING, 0, "41 C"},
        {Mib({1, 1, 1, 10, 1, 8, 1}), ASN_OCTETSTRING, 0, "-1"},
        {Mib({1, 1, 1, 10, 1, 10, 1}), ASN_INTEGER, -1, ""},
    };
    for (const auto& c : cases) {
        AsnInteger32 status;
        BindingAnswer answer = Get(c.name, &status);
        EXPECT_EQ(status, OK) << OidText(c.name);
        EXPECT_EQ(answer.type, c.type) << OidText(c.name);
        if (c.type == ASN_INTEGER) {
            EXPECT_EQ(answer.number, c.number) << OidText(c.name);
        } else {
            EXPECT_EQ(answer.text, c.text) << OidText(c.name);
        }
    }
}

TEST_F(AgentDllTest, OverfullRepliesStayWithinTheTables)
{
    Load(OverfullScenario());
    const struct { Oid name; AsnInteger32 status; AsnInteger32 number; std::string text; } cases[] = {
        {Mib({1, 1, 1, 6, 1, 1, 32}), OK, 32, ""},
        {Mib({1, 1, 1, 6, 1, 2, 32}), OK, 31, ""},
        {Mib({1, 1, 1, 6, 1, 1, 33}), NO_NAME, 0, ""},
        {Mib({1, 1, 1, 6, 1, 23, 1}), OK, 16, ""},
        {Mib({1, 1, 1, 8, 1, 1, 16}), OK, 16, ""},
        {Mib({1, 1, 1, 8, 1, 1, 17}), NO_NAME, 0, ""},
        {Mib({1, 1, 1, 6, 1, 6, 1}), OK, 0, std::string(46, 'T')},
        {Mib({1, 1, 1, 9, 1, 1, 1}), NO_NAME, 0, ""},
    };
    for (const auto& c : cases) {
        AsnInteger32 status;
        BindingAnswer answer = Get(c.name, &status);
        EXPECT_EQ(status, c.status) << OidText(c.name);
        if (c.status == OK && answer.type == ASN_INTEGER) {
            EXPECT_EQ(answer.number, c.number) << OidText(c.name);
        }
        if (c.status == OK && answer.type == ASN_OCTETSTRING) {
            EXPECT_EQ(answer.text, c.text) << OidText(c.name);
        }
    }
}

TEST_F(AgentDllTest, RequestStatusIndexAndEndOfRegion)
{
    Load(kTwoControllers);
    QueryAnswer answer = Query(query, GET, {Mib({1, 1, 1, 2, 0}), Mib({1, 1, 1, 5, 1, 6, 1}), Mib({1, 1, 1, 1, 0})});
    EXPECT_TRUE(answer.result);
    EXPECT_EQ(answer.status, NO_NAME);
    EXPECT_EQ(answer.index, 2);
    EXPECT_EQ(answer.bindings[2].type, ASN_NULL);
    answer = Query(query, NEXT, {});
    EXPECT_EQ(answer.status, -7);
    EXPECT_EQ(answer.index, -7);
    const std::pair<Oid, Oid> steps[] = {
        {{}, Mib({1, 1, 1, 1, 0})},
        {Mib({1, 1, 1, 4, 0}), Mib({1, 1, 1, 5, 1, 1, 1})},
        {Mib({1, 1, 1, 5, 1, 5, 2}), Mib({1, 1, 1, 5, 1, 7, 1})},
        {Mib({1, 1, 1, 8, 1, 12, 1}), Mib({1, 1, 1, 9, 1, 1, 1})},
        {Mib({1, 1, 1, 7, 1, 3, 4294967295u}), Mib({1, 1, 1, 7, 1, 4, 1})},
        {Mib({1, 1, 1, 10, 1, 10, 1}), kEndOfRegion},
    };
    for (const auto& step : steps) {
        AsnInteger32 status;
        EXPECT_EQ(OidText(QueryOne(query, NEXT, step.first, &status).name), OidText(step.second));
        EXPECT_EQ(status, OK);
    }
    AsnInteger32 status;
    QueryOne(query, SNMP_PDU_SET, Mib({1, 1, 1, 2, 0}), &status);
    EXPECT_EQ(status, NO_NAME);
    EXPECT_EQ(DiscoveryStatus(), 7);
}

// The refresh after an event shows the battery gone from its table, while
// the controller row keeps the last state it had.
TEST_F(AgentDllTest, BatteryLostBetweenRefreshes)
{
    const std::string withBattery = R"({ "controllers": [ { "battery": { "status": 131, "temperature": 3000, "voltage": 9000 },
        "events": [ { "code": 1, "description": "battery removed", "dueMs": 2500 } ] } ] })";
    const std::string withoutBattery = R"({ "controllers": [ {
        "events": [ { "code": 1, "description": "battery removed", "dueMs": 2500 } ] } ] })";
    Load(withBattery);
    HANDLE trapEvent = NULL;
    AsnObjectIdentifier region = {};
    ASSERT_TRUE(Init(&trapEvent, &region));
    AsnInteger32 status;
    EXPECT_EQ(Get(Mib({1, 1, 1, 7, 1, 3, 1}), &status).number, 3);
    EXPECT_EQ(Get(Mib({1, 1, 1, 5, 1, 24, 1}), &status).number, 4);
    WriteScenario(withoutBattery);
    ASSERT_EQ(WaitForSingleObject(trapEvent, 8000), (DWORD)WAIT_OBJECT_0);
    Get(Mib({1, 1, 1, 7, 1, 3, 1}), &status);
    EXPECT_EQ(status, NO_NAME);
    EXPECT_EQ(Get(Mib({1, 1, 1, 5, 1, 24, 1}), &status).number, 4);
    EXPECT_EQ(status, OK);
}

// A call that fails writes nothing; the fields drawn from it read zero,
// not what an earlier reply left behind.
TEST_F(AgentDllTest, FailedCallsReadAsZeros)
{
    Load(R"({ "failingCalls": ["i2_getDriverInfo"], "driverVersion": [5, 6, 7, 8],
              "controllers": [
                { "logicalDrives": [ { "id": 0, "activityFlags": "0x00000800", "settings": { "byte112": 1, "half113": 64 },
                                       "progress": { "synchronisation": { "status": 3, "percent": 55 } } } ] },
                { "failingCalls": ["i2_getLogDrvSettings", "i2_getLogDrvSynchProgress"],
                  "logicalDrives": [ { "id": 0, "activityFlags": "0x00000800",
                                       "progress": { "synchronisation": { "status": 3, "percent": 55 } } } ] } ] })");
    const struct { Oid name; AsnInteger32 number; } cases[] = {
        {Mib({1, 1, 1, 9, 1, 11, 1}), 8}, {Mib({1, 1, 1, 9, 1, 13, 1}), 55}, {Mib({1, 1, 1, 9, 1, 14, 1}), 1},
        {Mib({1, 1, 1, 9, 1, 15, 1}), 64}, {Mib({1, 1, 1, 9, 1, 11, 2}), 2}, {Mib({1, 1, 1, 9, 1, 13, 2}), 0},
        {Mib({1, 1, 1, 9, 1, 14, 2}), 0},  {Mib({1, 1, 1, 9, 1, 15, 2}), 0},
    };
    for (const auto& c : cases) {
        AsnInteger32 status;
        EXPECT_EQ(Get(c.name, &status).number, c.number) << OidText(c.name);
        EXPECT_EQ(status, OK);
    }
    EXPECT_EQ(Text(Mib({1, 1, 1, 4, 0})), "0.0.0.0");
}

}  // namespace
