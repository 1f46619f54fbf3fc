// Drives the real kalvbridge.dll through its import library, as the agent
// does, and reads the replies at the byte positions the agent reads.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "snmp_agent/storage_library.h"

namespace
{

typedef std::vector<uint8_t> Bytes;
typedef int (*QueryCall)(I2Address, uint32_t, const void*, void*, uint32_t);

const uint8_t UNTOUCHED = 0xA5; // what a reply holds before a call
const uint8_t FILLER = 0xEE;    // the simulator's default filler

// A request record: n 32-bit, w 16-bit fields, packed little-endian.
struct Request {
    Bytes bytes;
    Request& n(uint32_t value) { return Put(value, 4); }
    Request& w(uint16_t value) { return Put(value, 2); }
    Request& Put(uint32_t value, int width)
    {
        for (int i = 0; i < width; i++)
            bytes.push_back((uint8_t)(value >> (8 * i)));
        return *this;
    }
};

I2Address Controller(uint16_t index)
{
    I2Address address = {};
    address.controllerIndex = index;
    return address;
}

struct Reply {
    int result;
    Bytes bytes;
    uint64_t At(size_t offset, int width) const
    {
        uint64_t value = 0;
        for (int i = 0; i < width; i++)
            value |= (uint64_t)bytes.at(offset + i) << (8 * i);
        return value;
    }
    std::string Text(size_t offset) const { return std::string((const char*)&bytes.at(offset)); }
    bool Untouched() const
    {
        for (uint8_t byte : bytes)
            if (byte != UNTOUCHED)
                return false;
        return true;
    }
};

Reply Query(QueryCall call, uint16_t controller, Request request, uint32_t size)
{
    Reply reply = {0, Bytes(size, UNTOUCHED)};
    request.bytes.resize(request.bytes.size() + 16, 0);
    reply.result = call(Controller(controller), 0, request.bytes.data(), reply.bytes.data(), size);
    return reply;
}

Reply DiscoverPath(uint16_t controller)
{
    Reply reply = {0, Bytes(I2_DISCOVER_PATH_BYTES, UNTOUCHED)};
    reply.result =
        i2_getDiscoverPath(Controller(controller), reply.bytes.data(), I2_DISCOVER_PATH_BYTES);
    return reply;
}

Reply Buzzer(uint16_t controller)
{
    Reply reply = {0, Bytes(1, UNTOUCHED)};
    reply.result = i2_getBuzzerStatus(Controller(controller), 0, reply.bytes.data(), 1);
    return reply;
}

Reply DriverInfo()
{
    Reply reply = {0, Bytes(I2_DRIVER_INFO_BYTES, UNTOUCHED)};
    reply.result = i2_getDriverInfo(Controller(0), 0, reply.bytes.data());
    return reply;
}

// The agent's own requests.
Reply Info(uint16_t c, uint16_t page)
{
    return Query(i2_getControllerInfo, c, Request().n(c).n(1).w(page),
                 page == 0 ? I2_CONTROLLER_INFO_BYTES : I2_CONTROLLER_INFO_KIND2_BYTES);
}
Reply Settings(uint16_t c)
{
    return Query(i2_getControllerSettings, c, Request().n(c).n(1).w(0),
                 I2_CONTROLLER_SETTINGS_BYTES);
}
Reply Battery(uint16_t c)
{
    return Query(i2_getBatteryInfo, c, Request().w(0).w(0), I2_BATTERY_INFO_BYTES);
}
Reply Enclosures(uint16_t c, uint16_t first, uint16_t count)
{
    return Query(i2_getEnclosureInfo, c, Request().w(first).w(count), 64 + 16 * count);
}
Reply EnclosureStatus(uint16_t c, uint16_t e)
{
    return Query(i2_getEnclosureStatus, c, Request().w(e).w(1), I2_ENCLOSURE_STATUS_BYTES);
}
Reply Drives(uint16_t c)
{
    return Query(i2_getPhyDrvInfo, c, Request().n(0).n(128).w(255), I2_PHYSICAL_DRIVE_LIST_BYTES);
}
Reply DriveSettings(uint16_t c, uint32_t d)
{
    return Query(i2_getPhyDrvSettings, c, Request().n(d).n(1).w(1),
                 I2_PHYSICAL_DRIVE_SETTINGS_BYTES);
}
Reply MediaPatrol(uint16_t c, uint32_t d)
{
    return Query(i2_getHBAMediaPatrolProgress, c, Request().n(d).n(1),
                 I2_MEDIA_PATROL_PROGRESS_BYTES);
}
Reply Arrays(uint16_t c)
{
    return Query(i2_getLogDrvInfo, c, Request().n(0).n(128), I2_LOGICAL_DRIVE_LIST_BYTES);
}
Reply ArraySettings(uint16_t c, uint32_t a)
{
    return Query(i2_getLogDrvSettings, c, Request().n(a).n(1), I2_LOGICAL_DRIVE_SETTINGS_BYTES);
}
Reply Rebuild(uint16_t c, uint32_t a)
{
    return Query(i2_getRebuildProgress, c, Request().n(a).n(0), I2_REBUILD_PROGRESS_BYTES);
}
Reply Synch(uint16_t c, uint32_t a)
{
    return Query(i2_getLogDrvSynchProgress, c, Request().n(a), I2_SYNCH_PROGRESS_BYTES);
}
Reply Check(uint16_t c, uint32_t a)
{
    return Query(i2_getRedundancyCheckProgress, c, Request().n(a),
                 I2_REDUNDANCY_CHECK_PROGRESS_BYTES);
}
Reply Init(uint16_t c, uint32_t a)
{
    return Query(i2_getLogDrvInitProgress, c, Request().n(a), I2_INIT_PROGRESS_BYTES);
}
Reply Migration(uint16_t c, uint32_t a)
{
    return Query(i2_getMigrationProgress, c, Request().n(a).n(1), I2_MIGRATION_PROGRESS_BYTES);
}

uint32_t ControllerCount()
{
    uint32_t count = 0xFFFF;
    EXPECT_EQ(0, i2_getNumberOfHBA(&count));
    return count;
}

struct Events {
    int result;
    int32_t count;
    Reply reply;
    uint32_t Code(int record) const { return (uint32_t)reply.At(64 + 408 * record + 12, 4); }
    std::string Description(int record) const { return reply.Text(64 + 408 * record + 84); }
};

Events FetchEvents(uint16_t controller, int32_t asked = 10, uint32_t size = I2_EVENT_LIST_BYTES)
{
    int32_t request[2] = {-1, asked};
    Events events = {0, 0, {0, Bytes(size, UNTOUCHED)}};
    events.result =
        i2_getHBAEvents(Controller(controller), 0, request, events.reply.bytes.data(), size);
    events.reply.result = events.result;
    events.count = request[1];
    return events;
}

Bytes ProperInitBlock()
{
    Bytes block(I2_INIT_BLOCK_BYTES, 0);
    block[8] = 0x01;
    block[9] = 0x00;
    block[10] = 0xBA;
    block[11] = 0xBA;
    block[12] = 1;
    block[16] = 60;
    return block;
}

std::wstring ScenarioPath()
{
    WCHAR directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + L"kalvbridge_test_" + std::to_wstring(GetCurrentProcessId()) +
           L".json";
}

std::wstring CallLogPath()
{
    return ScenarioPath() + L".log";
}

std::string CallLog()
{
    std::ifstream file(CallLogPath().c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class KalvbridgeTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        i2_finalize();
        SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", NULL);
        SetEnvironmentVariableW(L"KALVBRIDGE_CALL_LOG", NULL);
        DeleteFileW(ScenarioPath().c_str());
        DeleteFileW(CallLogPath().c_str());
    }

    static void WriteScenario(const std::string& text)
    {
        std::ofstream file(ScenarioPath().c_str(), std::ios::binary | std::ios::trunc);
        file << text;
    }

    static void UseScenario(const std::string& text)
    {
        WriteScenario(text);
        SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", ScenarioPath().c_str());
    }

    // A fresh session: the agent's initialisation and discovery.
    static int StartSession()
    {
        i2_finalize();
        Bytes block = ProperInitBlock();
        i2_initialize(block.data());
        return i2_discover(1);
    }
};

// One field of one reply as the agent reads it.
struct FieldCase {
    const char* what;
    std::function<Reply()> fetch;
    size_t offset;
    int width;
    uint64_t expected;
};

void ExpectFields(const std::vector<FieldCase>& cases)
{
    for (const FieldCase& c : cases) {
        Reply reply = c.fetch();
        ASSERT_EQ(0, reply.result) << c.what;
        EXPECT_EQ(c.expected, reply.At(c.offset, c.width)) << c.what;
    }
}

TEST_F(KalvbridgeTest, DefaultMachineHasTwoControllersABatteryAnEnclosureAndARebuild)
{
    SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", NULL);
    ASSERT_EQ(0, StartSession());
    EXPECT_EQ(2u, ControllerCount());
    ExpectFields({
        {"battery of controller 0", [] { return Battery(0); }, 110, 1, 1},
        {"no battery on controller 1", [] { return Battery(1); }, 110, 1, 0},
        {"enclosure 0 present", [] { return Enclosures(0, 0, 1); }, 64 + 14, 1, 1},
        {"enclosure 1 absent", [] { return Enclosures(0, 1, 1); }, 64 + 14, 1, 0},
        {"four drives", [] { return Drives(0); }, 36, 4, 64 + 4 * 664},
        {"two drives", [] { return Drives(1); }, 36, 4, 64 + 2 * 664},
        {"two arrays", [] { return Arrays(0); }, 36, 4, 64 + 2 * 200},
        {"second array rebuilds", [] { return Arrays(0); }, 64 + 200 + 4, 4, 0x01000100},
        {"rebuild percent", [] { return Rebuild(0, 1); }, 66, 1, 42},
        {"first array healthy", [] { return Arrays(0); }, 64 + 4, 4, 0x02000000},
    });
    EXPECT_EQ("VX2000-1TB", Drives(0).Text(64 + 64));
    EXPECT_EQ("Archive", Arrays(0).Text(64 + 200 + 52));
    EXPECT_NE(0, Rebuild(0, 0).result); // the healthy array runs nothing
}

const char FIELD_SCENARIO[] = R"json({
  "driverVersion": [3, 2, 1, 70000],
  "controllers": [
    { "deviceId": "0x12345678", "subsystemId": 305419896,
      "firmwareVersion": [1, 2, 3, 4], "page2Version": [5, 6, 7, 65536],
      "pathWords": [11, 12, 13, 4294967295],
      "byte316": 16, "byte317": 17, "byte318": 18, "byte320": "020", "byte321": 21,
      "byte322": 22, "byte324": 24, "byte325": 25, "byte329": 1,
      "word332": "0xCAFEBABE", "half338": 338, "half348": 348, "half376": 376, "byte378": 78,
      "settingsByte82": 82, "buzzer": 7,
      "battery": { "status": 129, "temperature": 3131, "voltage": 52428 },
      "enclosures": [ { "kind": 2, "sensors": [ { "type": 5, "value": -12 },
                                                { "type": 3, "value": 12000 } ] },
                      null,
                      { "kind": 1 } ],
      "physicalDrives": [
        { "id": 9, "half10": 4660, "enclosure": 2, "slot": 5, "byte21": 33,
          "conditionValid": 1, "condition": 3, "sectors": "0x123456789A",
          "word52": 52000000, "half56": 56, "half58": 58, "byte148": 148,
          "text64": "MODEL-64", "text110": "SERIAL-110",
          "settingA": 0, "mediaPatrol": { "state": 4, "half88": 88, "half90": 90, "half92": 92 },
          "extents": [ { "code": 513, "flags": "0x08400001", "owner": 0, "start": 2048, "sectors": 999 },
                       { "code": 2, "start": 4096 } ] } ],
      "logicalDrives": [
        { "id": 3, "level": 11, "activityFlags": "0x02000300", "cacheFlags": 9,
          "sectors": "0xFFFFFFFF01", "half38": 38, "word44": 44000, "name": "Vault",
          "byte168": 168, "byte169": 169, "half170": -2, "byte172": 172,
          "settings": { "byte112": 112, "half113": 4113 },
          "progress": { "rebuild": { "status": 3, "percent": 66 },
                        "synchronisation": { "status": 2, "percent": 71 },
                        "redundancyCheck": { "status": 1, "percent": 72 },
                        "initialisation": { "status": 3, "percent": 73 },
                        "migration": { "status": 4, "percent": 1000 } } } ] }
  ]
})json";

TEST_F(KalvbridgeTest, RepliesCarryTheScenarioValuesWhereTheAgentReadsThem)
{
    UseScenario(FIELD_SCENARIO);
    ASSERT_EQ(0, StartSession());
    const size_t drive = 64;
    const size_t extent1 = drive + 152 + 32;
    const size_t array = 64;
    ExpectFields({
        {"driver version 0", DriverInfo, 0, 4, 3},
        {"driver version 3", DriverInfo, 12, 4, 70000},
        {"path word 1", [] { return DiscoverPath(0); }, 464, 4, 11},
        {"path word 4", [] { return DiscoverPath(0); }, 476, 4, 4294967295u},
        {"buzzer byte", [] { return Buzzer(0); }, 0, 1, 7},
        {"device id word", [] { return Info(0, 0); }, 72, 4, 0x12345678},
        {"subsystem id word", [] { return Info(0, 0); }, 76, 4, 0x12345678},
        {"firmware 1", [] { return Info(0, 0); }, 300, 4, 1},
        {"firmware 4", [] { return Info(0, 0); }, 312, 4, 4},
        {"byte 316", [] { return Info(0, 0); }, 316, 1, 16},
        {"byte 320 from a decimal text", [] { return Info(0, 0); }, 320, 1, 20},
        {"byte 321", [] { return Info(0, 0); }, 321, 1, 21},
        {"byte 329", [] { return Info(0, 0); }, 329, 1, 1},
        {"word 332", [] { return Info(0, 0); }, 332, 4, 0xCAFEBABE},
        {"half 338", [] { return Info(0, 0); }, 338, 2, 338},
        {"half 348", [] { return Info(0, 0); }, 348, 2, 348},
        {"half 376", [] { return Info(0, 0); }, 376, 2, 376},
        {"byte 378", [] { return Info(0, 0); }, 378, 1, 78},
        {"page 2 version 1", [] { return Info(0, 2); }, 72, 4, 5},
        {"page 2 version 4", [] { return Info(0, 2); }, 84, 4, 65536},
        {"settings byte 82", [] { return Settings(0); }, 82, 1, 82},
        {"battery temperature", [] { return Battery(0); }, 100, 2, 3131},
        {"battery voltage", [] { return Battery(0); }, 106, 2, 52428},
        {"battery status", [] { return Battery(0); }, 110, 1, 129},
        {"enclosure 0 kind", [] { return Enclosures(0, 0, 16); }, 64 + 14, 1, 2},
        {"enclosure 1 empty", [] { return Enclosures(0, 0, 16); }, 64 + 16 + 14, 1, 0},
        {"enclosure 2 kind", [] { return Enclosures(0, 0, 16); }, 64 + 32 + 14, 1, 1},
        {"one-enclosure form", [] { return Enclosures(0, 2, 1); }, 78, 1, 1},
        {"sensor 1 type", [] { return EnclosureStatus(0, 0); }, 68, 1, 5},
        {"sensor 1 value signed", [] { return EnclosureStatus(0, 0); }, 72, 4, 0xFFFFFFF4},
        {"sensor 2 type", [] { return EnclosureStatus(0, 0); }, 76, 1, 3},
        {"sensor 2 value", [] { return EnclosureStatus(0, 0); }, 80, 4, 12000},
        {"sensor 3 absent", [] { return EnclosureStatus(0, 0); }, 84, 1, 0},
        {"drive id", [] { return Drives(0); }, drive + 4, 2, 9},
        {"drive half 10", [] { return Drives(0); }, drive + 10, 2, 4660},
        {"drive enclosure", [] { return Drives(0); }, drive + 14, 2, 2},
        {"drive slot", [] { return Drives(0); }, drive + 16, 2, 5},
        {"drive byte 21", [] { return Drives(0); }, drive + 21, 1, 33},
        {"condition valid", [] { return Drives(0); }, drive + 22, 1, 1},
        {"condition", [] { return Drives(0); }, drive + 23, 1, 3},
        {"drive sectors", [] { return Drives(0); }, drive + 24, 8, 0x123456789A},
        {"drive word 52", [] { return Drives(0); }, drive + 52, 4, 52000000},
        {"drive half 56", [] { return Drives(0); }, drive + 56, 2, 56},
        {"drive half 58", [] { return Drives(0); }, drive + 58, 2, 58},
        {"drive byte 148", [] { return Drives(0); }, drive + 148, 1, 148},
        {"extent count", [] { return Drives(0); }, drive + 151, 1, 2},
        {"extent 0 code", [] { return Drives(0); }, drive + 152, 2, 513},
        {"extent 0 flags", [] { return Drives(0); }, drive + 152 + 4, 4, 0x08400001},
        {"extent 0 owner", [] { return Drives(0); }, drive + 152 + 8, 2, 0},
        {"extent 0 start", [] { return Drives(0); }, drive + 152 + 16, 8, 2048},
        {"extent 0 sectors", [] { return Drives(0); }, drive + 152 + 24, 8, 999},
        {"extent 1 owner defaults to none", [] { return Drives(0); }, extent1 + 8, 2, 255},
        {"extent 1 flags default 0", [] { return Drives(0); }, extent1 + 4, 4, 0},
        {"extent 1 start", [] { return Drives(0); }, extent1 + 16, 8, 4096},
        {"setting A applies", [] { return DriveSettings(0, 9); }, 74, 1, 1},
        {"setting B does not", [] { return DriveSettings(0, 9); }, 75, 1, 0},
        {"setting A value", [] { return DriveSettings(0, 9); }, 76, 1, 0},
        {"patrol state", [] { return MediaPatrol(0, 9); }, 86, 2, 4},
        {"patrol half 88", [] { return MediaPatrol(0, 9); }, 88, 2, 88},
        {"patrol half 90", [] { return MediaPatrol(0, 9); }, 90, 2, 90},
        {"patrol half 92", [] { return MediaPatrol(0, 9); }, 92, 2, 92},
        {"array level", [] { return Arrays(0); }, array + 2, 1, 11},
        {"array activity", [] { return Arrays(0); }, array + 4, 4, 0x02000300},
        {"array cache", [] { return Arrays(0); }, array + 8, 4, 9},
        {"array sectors", [] { return Arrays(0); }, array + 12, 8, 0xFFFFFFFF01},
        {"array half 38", [] { return Arrays(0); }, array + 38, 2, 38},
        {"array word 44", [] { return Arrays(0); }, array + 44, 4, 44000},
        {"array id", [] { return Arrays(0); }, array + 48, 2, 3},
        {"array byte 168", [] { return Arrays(0); }, array + 168, 1, 168},
        {"array byte 169", [] { return Arrays(0); }, array + 169, 1, 169},
        {"array half 170 signed", [] { return Arrays(0); }, array + 170, 2, 0xFFFE},
        {"array byte 172", [] { return Arrays(0); }, array + 172, 1, 172},
        {"array settings 112", [] { return ArraySettings(0, 3); }, 112, 1, 112},
        {"array settings 113", [] { return ArraySettings(0, 3); }, 113, 2, 4113},
        {"rebuild status", [] { return Rebuild(0, 3); }, 64, 1, 3},
        {"rebuild percent", [] { return Rebuild(0, 3); }, 66, 1, 66},
        {"synch status", [] { return Synch(0, 3); }, 70, 1, 2},
        {"synch percent", [] { return Synch(0, 3); }, 71, 1, 71},
        {"check status", [] { return Check(0, 3); }, 70, 1, 1},
        {"check percent", [] { return Check(0, 3); }, 71, 1, 72},
        {"init status", [] { return Init(0, 3); }, 70, 1, 3},
        {"init percent", [] { return Init(0, 3); }, 71, 1, 73},
        {"migration status", [] { return Migration(0, 3); }, 70, 1, 4},
        {"migration percent", [] { return Migration(0, 3); }, 68, 2, 1000},
    });
    EXPECT_EQ("MODEL-64", Drives(0).Text(drive + 64));
    EXPECT_EQ("SERIAL-110", Drives(0).Text(drive + 110));
    EXPECT_EQ("Vault", Arrays(0).Text(array + 52));
}

// Bytes that carry no meaning hold filler, never a scenario value; fields
// the scenario leaves out read as zero.
TEST_F(KalvbridgeTest, OnlyTheFieldsTheAgentReadsCarryMeaning)
{
    UseScenario(R"({"fillerByte": 17, "controllers": [{"physicalDrives": [{}],
                    "logicalDrives": [{"progress": {"rebuild": {}}}]}]})");
    ASSERT_EQ(0, StartSession());
    Reply drives = Drives(0);
    EXPECT_EQ(17u, drives.At(0, 1));                // reply header
    EXPECT_EQ(0x11111111u, drives.At(64 + 0, 4));   // unread drive bytes
    EXPECT_EQ(0x11111111u, drives.At(64 + 152, 4)); // no extent record
    EXPECT_EQ(0u, drives.At(64 + 4, 2));            // id from the list position
    EXPECT_EQ(255u, drives.At(64 + 14, 2));         // in no enclosure
    EXPECT_EQ(0u, drives.At(64 + 151, 1));          // no extents
    EXPECT_EQ(0u, drives.At(64 + 64, 1));           // empty text
    EXPECT_EQ(17u, Info(0, 0).At(0, 1));
    EXPECT_EQ(0u, Info(0, 0).At(72, 4));
    EXPECT_EQ(0u, Battery(0).At(110, 1)); // no battery
    EXPECT_EQ(17u, Battery(0).At(0, 1));
    EXPECT_EQ(0u, Rebuild(0, 0).At(64, 1));
    EXPECT_EQ(17u, Rebuild(0, 0).At(65, 1));
    EXPECT_EQ(0u, DriveSettings(0, 0).At(74, 4)); // neither setting applies
}

TEST_F(KalvbridgeTest, ListsHonourFirstCountReplySizeAndReportedLengths)
{
    UseScenario(R"({"controllers": [
        {"physicalDrives": [{"id": 4}, {"id": 5}, {"id": 6}], "driveListUsedLength": 999999},
        {"physicalDrives": [{"id": 4}, {"id": 5}, {"id": 6}],
         "logicalDrives": [{"id": 7}, {"id": 8}]}]})");
    ASSERT_EQ(0, StartSession());
    EXPECT_EQ(999999u, Drives(0).At(36, 4));
    EXPECT_EQ(6u, Drives(0).At(64 + 2 * 664 + 4, 2));

    Reply fromSecond =
        Query(i2_getPhyDrvInfo, 1, Request().n(1).n(128).w(255), I2_PHYSICAL_DRIVE_LIST_BYTES);
    EXPECT_EQ(64u + 2 * 664, fromSecond.At(36, 4));
    EXPECT_EQ(5u, fromSecond.At(64 + 4, 2));
    Reply one =
        Query(i2_getPhyDrvInfo, 1, Request().n(0).n(1).w(255), I2_PHYSICAL_DRIVE_LIST_BYTES);
    EXPECT_EQ(64u + 664, one.At(36, 4));
    EXPECT_EQ(UNTOUCHED, one.bytes[64 + 664]);
    Reply small = Query(i2_getPhyDrvInfo, 1, Request().n(0).n(128).w(255), 64 + 2 * 664 + 10);
    EXPECT_EQ(64u + 2 * 664, small.At(36, 4));
    EXPECT_EQ(UNTOUCHED, small.bytes.back());
    Reply arrays = Arrays(1);
    EXPECT_EQ(64u + 2 * 200, arrays.At(36, 4));
    EXPECT_EQ(8u, arrays.At(64 + 200 + 48, 2));
    EXPECT_EQ(64u, Arrays(0).At(36, 4));
}

// An index without an enclosure must clear a kind byte left by an earlier query.
TEST_F(KalvbridgeTest, OneEnclosureQueryOfAnEmptyIndexClearsTheKindByte)
{
    UseScenario(R"({"controllers": [{"enclosures": [{"kind": 1}, null, {"kind": 0}]}]})");
    ASSERT_EQ(0, StartSession());
    Bytes reply(80, 0);
    int present = 0;
    for (uint16_t index = 0; index < 128; index++) {
        Request request = Request().w(index).w(1);
        i2_getEnclosureInfo(Controller(0), 0, request.bytes.data(), reply.data(), 80);
        present += reply[78] != 0;
    }
    EXPECT_EQ(1, present);
    EXPECT_NE(0, EnclosureStatus(0, 1).result);
    EXPECT_NE(0, EnclosureStatus(0, 2).result);
}

TEST_F(KalvbridgeTest, DiscoveryFailsForTheFirstAttemptsOnly)
{
    UseScenario(R"({"discoveryFailures": 2, "controllers": [{}]})");
    i2_finalize();
    Bytes block = ProperInitBlock();
    std::vector<int> outcomes;
    for (int attempt = 0; attempt < 4; attempt++) {
        i2_initialize(block.data());
        outcomes.push_back(i2_discover(1) == 0);
    }
    EXPECT_EQ((std::vector<int>{0, 0, 1, 1}), outcomes);
    EXPECT_EQ(1u, ControllerCount());
    i2_finalize(); // a new session counts its attempts afresh
    i2_initialize(block.data());
    EXPECT_NE(0, i2_discover(1));
}

TEST_F(KalvbridgeTest, FailingCallsFailAndLeaveTheirRepliesUnwritten)
{
    UseScenario(R"({"failingCalls": ["i2_getLogDrvInfo"], "controllers": [
        {"failingCalls": ["i2_getBuzzerStatus", "i2_getBatteryInfo"], "battery": {"status": 1}},
        {"battery": {"status": 2}}]})");
    ASSERT_EQ(0, StartSession());
    struct Case {
        const char* what;
        std::function<Reply()> fetch;
        bool fails;
    } cases[] = {
        {"buzzer of the switched controller", [] { return Buzzer(0); }, true},
        {"buzzer of the other", [] { return Buzzer(1); }, false},
        {"battery of the switched controller", [] { return Battery(0); }, true},
        {"battery of the other", [] { return Battery(1); }, false},
        {"machine-wide switch, controller 0", [] { return Arrays(0); }, true},
        {"machine-wide switch, controller 1", [] { return Arrays(1); }, true},
        {"unswitched call", [] { return Drives(0); }, false},
    };
    for (const Case& c : cases) {
        Reply reply = c.fetch();
        EXPECT_EQ(c.fails, reply.result != 0) << c.what;
        EXPECT_EQ(c.fails, reply.Untouched()) << c.what;
    }
}

// What the agent never sends is refused, so a wrong request shows as zeros.
TEST_F(KalvbridgeTest, RequestsUnlikeTheAgentsAreRefusedWithoutWriting)
{
    UseScenario(
        R"({"controllers": [{"physicalDrives": [{"id": 1}], "logicalDrives": [{"id": 0}]}]})");
    ASSERT_EQ(0, StartSession());
    I2Address dirty = Controller(0);
    dirty.reserved[3] = 1;
    Bytes buffer(I2_CONTROLLER_INFO_BYTES, UNTOUCHED);
    Request good = Request().n(0).n(1).w(0).w(0);
    struct Case {
        const char* what;
        std::function<Reply()> fetch;
    } cases[] = {
        {"controller out of range", [] { return Info(1, 0); }},
        {"request names another controller",
         [] { return Query(i2_getControllerInfo, 0, Request().n(1).n(1).w(0), 432); }},
        {"unknown page",
         [] { return Query(i2_getControllerInfo, 0, Request().n(0).n(1).w(1), 432); }},
        {"reply too small",
         [] { return Query(i2_getControllerInfo, 0, Request().n(0).n(1).w(0), 431); }},
        {"settings request second field",
         [] { return Query(i2_getControllerSettings, 0, Request().n(0).n(2).w(0), 88); }},
        {"battery request", [] { return Query(i2_getBatteryInfo, 0, Request().w(1).w(0), 112); }},
        {"drive list filter",
         [] { return Query(i2_getPhyDrvInfo, 0, Request().n(0).n(128).w(0), 85056); }},
        {"unknown drive id", [] { return DriveSettings(0, 0); }},
        {"drive settings third field",
         [] { return Query(i2_getPhyDrvSettings, 0, Request().n(1).n(1).w(0), 80); }},
        {"unknown array", [] { return ArraySettings(0, 1); }},
        {"rebuild request second field",
         [] { return Query(i2_getRebuildProgress, 0, Request().n(0).n(1), 88); }},
        {"no such operation running", [] { return Synch(0, 0); }},
        {"enclosure list without room",
         [] { return Query(i2_getEnclosureInfo, 0, Request().w(0).w(16), 64); }},
        {"address with stray bytes",
         [&] {
             Reply r = {0, buffer};
             r.result = i2_getControllerInfo(dirty, 0, good.bytes.data(), r.bytes.data(), 432);
             return r;
         }},
        {"zero argument not zero",
         [&] {
             Reply r = {0, buffer};
             r.result =
                 i2_getControllerInfo(Controller(0), 1, good.bytes.data(), r.bytes.data(), 432);
             return r;
         }},
    };
    for (const Case& c : cases) {
        Reply reply = c.fetch();
        EXPECT_NE(0, reply.result) << c.what;
        EXPECT_TRUE(reply.Untouched()) << c.what;
    }
    EXPECT_NE(0, i2_getNumberOfHBA(NULL));
}

TEST_F(KalvbridgeTest, NothingIsServedBeforeAProperInitialisationAndDiscovery)
{
    UseScenario(R"({"controllers": [{}]})");
    i2_finalize();
    uint32_t count = 77;
    EXPECT_NE(0, i2_getNumberOfHBA(&count));
    EXPECT_NE(0, i2_discover(1)); // not initialised
    Bytes block = ProperInitBlock();
    block[200] = 1;
    EXPECT_NE(0, i2_initialize(block.data()));
    EXPECT_NE(0, i2_discover(1));
    block[200] = 0;
    EXPECT_EQ(0, i2_initialize(block.data()));
    EXPECT_NE(0, i2_discover(2));
    EXPECT_NE(0, i2_getNumberOfHBA(&count));
    EXPECT_EQ(77u, count);
    EXPECT_EQ(0, i2_discover(1));
    EXPECT_EQ(0, i2_getNumberOfHBA(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0, i2_finalize());
    EXPECT_NE(0, i2_getNumberOfHBA(&count));
}

TEST_F(KalvbridgeTest, InvalidScenariosAreRefusedAtDiscovery)
{
    const char* const scenarios[] = {
        "{ not json",
        R"({"controllers": [{"deviceID": 1}]})",
        R"({"controllers": [{"byte316": 256}]})",
        R"({"controllers": [{"half338": -40000}]})",
        R"({"controllers": [{"firmwareVersion": [1, 2, 3]}]})",
        R"({"controllers": [{"physicalDrives": [{"text110": "0123456789012345678901234567890123456789"}]}]})",
        R"({"controllers": [{"physicalDrives": [{"id": 1}, {"id": 1}]}]})",
        R"({"controllers": [{"physicalDrives": [{"extents": [{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}]}]}]})",
        R"({"controllers": [{"enclosures": [{"sensors": [{},{},{},{},{},{},{}]}]}]})",
        R"({"controllers": [{"logicalDrives": [{"progress": {"rebuilding": {}}}]}]})",
        R"({"controllers": [{"events": [{"description": "no code"}]}]})",
        R"({"controllers": [{"failingCalls": ["i2_getEverything"]}]})",
        R"({"controllers": [{"word332": 1.5}]})",
        R"({"controllers": [{"word332": "0x"}]})",
        R"({"controllers": [{"word332": "12ab"}]})",
        R"({"controllers": {}})",
    };
    for (const char* scenario : scenarios) {
        UseScenario(scenario);
        EXPECT_NE(0, StartSession()) << scenario;
    }
    SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", L"C:\\no\\such\\scenario.json");
    EXPECT_NE(0, StartSession());
}

TEST_F(KalvbridgeTest, AChangedScenarioFileIsServedFromTheNextCall)
{
    UseScenario(R"({"controllers": [{"battery": {"status": 1}}]})");
    ASSERT_EQ(0, StartSession());
    EXPECT_EQ(1u, Battery(0).At(110, 1));
    WriteScenario(R"({"controllers": [{"battery": {"status": 2}}, {}]})");
    EXPECT_EQ(2u, Battery(0).At(110, 1));
    EXPECT_EQ(2u, ControllerCount());
    WriteScenario(R"({"controllers": [{"battery": )"); // half written
    EXPECT_EQ(2u, Battery(0).At(110, 1));
    WriteScenario(R"({"controllers": [{}]})");
    EXPECT_EQ(0u, Battery(0).At(110, 1));
    EXPECT_EQ(1u, ControllerCount());
    SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", NULL);
    EXPECT_EQ(2u, ControllerCount()); // back to the default machine
}

TEST_F(KalvbridgeTest, CallLogRecordsEveryCallWithItsControllerAndResult)
{
    UseScenario(R"({"controllers": [{}, {"failingCalls": ["i2_getBuzzerStatus"]}]})");
    SetEnvironmentVariableW(L"KALVBRIDGE_CALL_LOG", CallLogPath().c_str());
    ASSERT_EQ(0, StartSession());
    Battery(1);
    Buzzer(1);
    Info(5, 0);
    DriverInfo();
    EXPECT_EQ("i2_finalize - 0\n"
              "i2_initialize - 0\n"
              "i2_discover - 0\n"
              "i2_getBatteryInfo 1 0\n"
              "i2_getBuzzerStatus 1 1\n"
              "i2_getControllerInfo 5 4\n"
              "i2_getDriverInfo 0 0\n",
              CallLog());
}

std::string EventScenario(const std::string& events, const std::string& switches = "")
{
    return R"({"controllers": [{"events": [)" + events + "]" + switches + "}, {}]}";
}

TEST_F(KalvbridgeTest, DueEventsAreDeliveredOnceInOrder)
{
    UseScenario(EventScenario(R"({"code": "0x00030000", "description": "Disk 1 failed"},
                                 {"code": "0x00080007", "description": "Rebuild started", "dueMs": 0},
                                 {"code": 4294967295, "description": "Later", "dueMs": 400},
                                 {"code": 3})"));
    ASSERT_EQ(0, StartSession());
    Events first = FetchEvents(0);
    ASSERT_EQ(0, first.result);
    ASSERT_EQ(3, first.count);
    EXPECT_EQ(64u + 3 * 408, first.reply.At(36, 4));
    EXPECT_EQ(0x00030000u, first.Code(0));
    EXPECT_EQ("Disk 1 failed", first.Description(0));
    EXPECT_EQ(0x00080007u, first.Code(1));
    EXPECT_EQ("Rebuild started", first.Description(1));
    EXPECT_EQ(3u, first.Code(2));
    EXPECT_EQ("", first.Description(2));
    EXPECT_EQ(FILLER, first.reply.bytes[64 + 408 * 2]);
    EXPECT_EQ(UNTOUCHED, first.reply.bytes[64 + 408 * 3]);
    EXPECT_EQ(0, FetchEvents(1).count);
    EXPECT_EQ(0, FetchEvents(0).count);
    Sleep(450);
    Events later = FetchEvents(0);
    ASSERT_EQ(1, later.count);
    EXPECT_EQ(4294967295u, later.Code(0));
    EXPECT_EQ(0, FetchEvents(0).count);
}

TEST_F(KalvbridgeTest, EventsAddedToTheFileAreDeliveredAndEarlierOnesNotAgain)
{
    UseScenario(EventScenario(R"({"code": 1})"));
    ASSERT_EQ(0, StartSession());
    ASSERT_EQ(1, FetchEvents(0).count);
    WriteScenario(EventScenario(R"({"code": 1}, {"code": 2}, {"code": 3})"));
    Events added = FetchEvents(0);
    ASSERT_EQ(2, added.count);
    EXPECT_EQ(2u, added.Code(0));
    EXPECT_EQ(3u, added.Code(1));
    EXPECT_EQ(0, FetchEvents(0).count);
    ASSERT_EQ(0, StartSession()); // a new session starts over
    EXPECT_EQ(3, FetchEvents(0).count);
}

TEST_F(KalvbridgeTest, EventDeliveryStopsAtTheAskedCountAndTheReplySize)
{
    std::string events;
    for (int code = 1; code <= 15; code++)
        events += (code > 1 ? "," : "") + std::string(R"({"code": )") + std::to_string(code) + "}";
    UseScenario(EventScenario(events));
    ASSERT_EQ(0, StartSession());
    struct Case {
        int32_t asked;
        uint32_t size;
        int32_t delivered;
        uint32_t firstCode;
    } cases[] = {
        {0, I2_EVENT_LIST_BYTES, 0, 0},   {-5, I2_EVENT_LIST_BYTES, 0, 0},
        {10, I2_EVENT_LIST_BYTES, 10, 1}, {10, 64 + 2 * 408 + 407, 2, 11},
        {10, I2_EVENT_LIST_BYTES, 3, 13}, {10, I2_EVENT_LIST_BYTES, 0, 0},
    };
    for (const Case& c : cases) {
        Events got = FetchEvents(0, c.asked, c.size);
        EXPECT_EQ(c.delivered, got.count) << c.asked << " " << c.size;
        if (c.delivered > 0) {
            EXPECT_EQ(c.firstCode, got.Code(0)) << c.asked << " " << c.size;
        }
        EXPECT_EQ(UNTOUCHED, got.reply.bytes[64 + 408 * c.delivered]);
    }
}

TEST_F(KalvbridgeTest, ADescriptionFillingItsRecordHasNoNul)
{
    std::string full(324, 'x');
    UseScenario(EventScenario(R"({"code": 1, "description": ")" + full + R"("})"));
    ASSERT_EQ(0, StartSession());
    Events got = FetchEvents(0);
    ASSERT_EQ(1, got.count);
    EXPECT_EQ(full, std::string((const char*)&got.reply.bytes[64 + 84], 324));
    EXPECT_EQ(UNTOUCHED, got.reply.bytes[64 + 408]);
}

TEST_F(KalvbridgeTest, OverstatedEventCountIsReportedOnlyWithEvents)
{
    UseScenario(EventScenario(R"({"code": 1}, {"code": 2, "dueMs": 300})",
                              R"(, "reportedEventCount": 50)"));
    ASSERT_EQ(0, StartSession());
    Events got = FetchEvents(0);
    EXPECT_EQ(50, got.count);
    EXPECT_EQ(1u, got.Code(0));
    EXPECT_EQ(64u + 408, got.reply.At(36, 4));
    EXPECT_EQ(0, FetchEvents(0).count);
    WriteScenario(EventScenario(R"({"code": 1}, {"code": 2})", R"(, "reportedEventCount": -3)"));
    EXPECT_EQ(-3, FetchEvents(0).count);
}

// The fault is caught here as the agent's guard would: a vectored handler
// that resumes at a context captured before the call.
CONTEXT resumeContext;
volatile LONG faultSeen;
volatile DWORD faultCode;
volatile bool faultInsideLibrary;

LONG CALLBACK ResumeAfterFault(EXCEPTION_POINTERS* exception)
{
    if (faultSeen)
        return EXCEPTION_CONTINUE_SEARCH;
    faultSeen = 1;
    faultCode = exception->ExceptionRecord->ExceptionCode;
    HMODULE module = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCWSTR)exception->ExceptionRecord->ExceptionAddress, &module);
    faultInsideLibrary = module == GetModuleHandleW(L"kalvbridge.dll");
    *exception->ContextRecord = resumeContext;
    return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI CountControllersOnAnotherThread(LPVOID)
{
    uint32_t count = 0;
    i2_getNumberOfHBA(&count);
    return count;
}

TEST_F(KalvbridgeTest, EventFaultIsAnAccessViolationInsideTheLibraryAndTheLibraryGoesOn)
{
    UseScenario(EventScenario(R"({"code": 5})", R"(, "eventFaults": 1)"));
    ASSERT_EQ(0, StartSession());
    SetEnvironmentVariableW(L"KALVBRIDGE_CALL_LOG", CallLogPath().c_str());
    faultSeen = 0;
    PVOID handler = AddVectoredExceptionHandler(1, ResumeAfterFault);
    RtlCaptureContext(&resumeContext);
    if (!faultSeen)
        FetchEvents(0);
    RemoveVectoredExceptionHandler(handler);
    ASSERT_TRUE(faultSeen);
    EXPECT_EQ((DWORD)EXCEPTION_ACCESS_VIOLATION, faultCode);
    EXPECT_TRUE(faultInsideLibrary);
    EXPECT_EQ("i2_getHBAEvents 0 -1\n", CallLog());

    // The library lock is free: another thread is served.
    HANDLE thread = CreateThread(NULL, 0, CountControllersOnAnotherThread, NULL, 0, NULL);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    DWORD count = 0;
    GetExitCodeThread(thread, &count);
    CloseHandle(thread);
    EXPECT_EQ(2u, count);

    Events after = FetchEvents(0); // the event waited through the fault
    ASSERT_EQ(1, after.count);
    EXPECT_EQ(5u, after.Code(0));
}

std::string SourceFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The agent binds by name to the list in its module-definition file.
TEST(KalvbridgeExports, AreExactlyTheNamesOfTheModuleDefinitionFile)
{
    std::istringstream definition(SourceFile(KALVBRIDGE_DEF_FILE));
    std::set<std::string> listed;
    std::string line;
    bool inExports = false;
    while (std::getline(definition, line)) {
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (inExports && !word.empty() && word[0] != ';')
            listed.insert(word);
        inExports = inExports || word == "EXPORTS";
    }
    ASSERT_EQ(23u, listed.size());

    HMODULE library = GetModuleHandleW(L"kalvbridge.dll");
    ASSERT_NE((HMODULE)NULL, library);
    const BYTE* base = (const BYTE*)library;
    const IMAGE_NT_HEADERS* headers =
        (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exports =
        (const IMAGE_EXPORT_DIRECTORY*)(base + directory.VirtualAddress);
    const DWORD* names = (const DWORD*)(base + exports->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; i++)
        exported.insert((const char*)(base + names[i]));
    EXPECT_EQ(listed, exported);
}

TEST_F(KalvbridgeTest, TheReadmeExampleIsAValidScenario)
{
    std::string readme = SourceFile(KALVBRIDGE_README);
    size_t start = readme.find("```json\n");
    ASSERT_NE(std::string::npos, start);
    start += 8;
    UseScenario(readme.substr(start, readme.find("```", start) - start));
    ASSERT_EQ(0, StartSession());
    EXPECT_EQ(1u, ControllerCount());
    EXPECT_NE(0, Buzzer(0).result);
    EXPECT_EQ(129u, Battery(0).At(110, 1));
    EXPECT_EQ(42u, Rebuild(0, 0).At(66, 1));
}

} // namespace
