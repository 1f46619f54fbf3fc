// Collectors on byte fixtures: each case sets the reply bytes a derivation
// reads and checks the row field it produces.
#include <gtest/gtest.h>

#include <string>

#include "fake_storage_library.h"
#include "inventory/collectors.h"

namespace {

class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFakeLibrary(); }
    FakeController& Controller(int index) { return g_fakeLibrary.controllers[index]; }
};

ControllerRow g_controllers[MAX_CONTROLLER_ROWS];
DriveRow g_drives[MAX_DRIVE_ROWS];
BatteryRow g_batteries[MAX_BATTERY_ROWS];
ExtentRow g_extents[MAX_EXTENT_ROWS];
LogicalDriveRow g_logicalDrives[MAX_LOGICAL_DRIVE_ROWS];
EnclosureRow g_enclosures[MAX_ENCLOSURE_ROWS];

struct BatteryCase {
    DWORD status, tenthsKelvin, millivolts;
    int batteryRowState;
    int controllerRowState;
    const char* temperature;
    const char* voltage;
};

TEST_F(CollectorTest, BatteryStateTemperatureAndVoltage)
{
    const BatteryCase cases[] = {
        {0x81, 3131, 12000, 1, 2, "40.000001 C", "12.000001 V"},
        {0x85, 2731, 52428, -1, 0, "0.000000 C", "now reading"},
        {0x04, 2631, 0, 4, 5, "-10.000000 C", "0.000000 V"},
        {0x80, 2981, 8400, 0, 1, "25.000000 C", "8.400000 V"},
    };
    for (const BatteryCase& c : cases) {
        ResetFakeLibrary();
        Controller(0).SetBattery(c.status, c.tenthsKelvin, c.millivolts);
        int rows = -1;
        CollectBatteries(1, g_batteries, &rows);
        CollectControllers(1, g_controllers);
        ASSERT_EQ(rows, 1) << c.status;
        EXPECT_EQ(g_batteries[0].batteryState, c.batteryRowState) << c.status;
        EXPECT_EQ(g_controllers[0].batteryState, c.controllerRowState) << c.status;
        EXPECT_STREQ(g_batteries[0].temperatureText, c.temperature) << c.status;
        EXPECT_STREQ(g_batteries[0].voltageText, c.voltage) << c.status;
    }
}

TEST_F(CollectorTest, ControllerWithoutBatteryGetsNoRowAndKeepsItsLastState)
{
    Controller(1).SetBattery(0x82, 3031, 12000);
    int rows = -1;
    CollectBatteries(2, g_batteries, &rows);
    ASSERT_EQ(rows, 1);
    EXPECT_EQ(g_batteries[0].rowNumber, 1);
    EXPECT_EQ(g_batteries[0].controllerNumber, 2);

    CollectControllers(2, g_controllers);
    EXPECT_EQ(g_controllers[1].batteryState, 3);
    Controller(1).SetBattery(0, 0, 0);
    CollectControllers(2, g_controllers);
    EXPECT_EQ(g_controllers[1].batteryState, 3);
    CollectBatteries(2, g_batteries, &rows);
    EXPECT_EQ(rows, 0);
}

TEST_F(CollectorTest, ControllerRowFields)
{
    FakeController& c = Controller(0);
    PutU32(c.discoverPath, 464, 11);
    PutU32(c.discoverPath, 468, 12);
    PutU32(c.discoverPath, 472, 13);
    PutU32(c.discoverPath, 476, 14);
    c.buzzerStatus = 0;
    for (DWORD k : {300u, 304u, 308u, 312u})
        PutU32(c.page0, k, k - 299);
    PutU32(c.page0, 332, 0x12345678);
    PutU16(c.page0, 338, 338);
    PutU16(c.page0, 348, 348);
    PutU16(c.page0, 376, 1000);
    PutU8(c.page0, 378, 3);
    PutU8(c.page0, 316, 16);
    PutU8(c.page0, 317, 17);
    PutU8(c.page0, 318, 18);
    PutU8(c.page0, 320, 20);
    PutU8(c.page0, 321, 21);
    PutU8(c.page0, 322, 7);
    PutU8(c.page0, 324, 0);
    PutU8(c.page0, 325, 25);
    PutU8(c.page0, 329, 2);
    for (DWORD k : {72u, 76u, 80u, 84u})
        PutU32(c.page2, k, k);
    PutU8(c.settings, 82, 9);
    c.enclosureKinds[0] = 1;
    c.enclosureKinds[127] = 2;
    Controller(1).buzzerResult = 5;
    Controller(1).buzzerStatus = 1;
    Controller(0).SetDevice(0x00123319, 0x3319);
    Controller(1).SetDevice(0xABCD0099, 0);

    EXPECT_FALSE(CollectControllers(2, g_controllers));
    const ControllerRow& row = g_controllers[0];
    EXPECT_EQ(row.rowNumber, 1);
    EXPECT_EQ(row.controllerNumber, 1);
    EXPECT_STREQ(row.modelText, "Vantrel KX4319 SATA RAID");
    EXPECT_EQ(row.pathWord1, 11);
    EXPECT_EQ(row.pathWord4, 14);
    EXPECT_EQ(row.buzzerState, 1);
    EXPECT_STREQ(row.versionText1, "1.5.9.13");
    EXPECT_STREQ(row.versionText2, "72.76.80.84");
    EXPECT_EQ(row.infoWord332, 0x12345678);
    EXPECT_EQ(row.infoHalfWord338, 338);
    EXPECT_EQ(row.infoHalfWord348, 348);
    EXPECT_EQ(row.infoProduct, 3000);
    EXPECT_EQ(row.infoByte378, 3);
    EXPECT_EQ(row.infoByte316 * 1000 + row.infoByte317, 16017);
    EXPECT_EQ(row.infoByte318 * 1000 + row.infoByte320, 18020);
    EXPECT_EQ(row.infoByte321, 21);
    EXPECT_EQ(row.infoFlag322, 1);
    EXPECT_EQ(row.infoFlag324, 0);
    EXPECT_EQ(row.infoByte325, 25);
    EXPECT_EQ(row.infoFlag329, 0);
    EXPECT_EQ(row.settingsByte82, 9);
    EXPECT_EQ(row.enclosureCount, 2);
    EXPECT_EQ(g_controllers[1].rowNumber, 2);
    EXPECT_EQ(g_controllers[1].buzzerState, -1);
    EXPECT_STREQ(g_controllers[1].modelText, "Vantrel HBA (ID=0xabcd0099)");
}

TEST_F(CollectorTest, ModelNamesAndTheEsataNamingController)
{
    const struct {
        DWORD device, subsystem;
        const char* model;
        BOOL esataNaming;
    } cases[] = {
        {0x3300, 0, "Vantrel KX2300 SATA HBA", FALSE},
        {0x3301, 0x1234, "Vantrel KX2300 SATA HBA", FALSE},
        {0x3371, 0x3372, "Vantrel KX4371 SATA RAID", FALSE},
        {0x3371, 0x0001, "Vantrel KX2371 SATA RAID", FALSE},
        {0x3571, 0x3571, "Vantrel KX8571 SAS RAID", FALSE},
        {0x3571, 0x3570, "Vantrel KX6571 SAS RAID", FALSE},
        {0x3F20, 0x1010, "Vantrel HBA (ID=0x3f20)", TRUE},
        {0x3F20, 0x1011, "Vantrel HBA (ID=0x3f20)", FALSE},
        {0, 0, "Vantrel HBA (ID=0x0)", FALSE},
    };
    for (const auto& c : cases) {
        Controller(0).SetDevice(c.device, c.subsystem);
        EXPECT_EQ(CollectControllers(1, g_controllers), c.esataNaming) << c.model;
        EXPECT_STREQ(g_controllers[0].modelText, c.model);
    }
}

TEST_F(CollectorTest, EnclosureCountCanReachAllIndexes)
{
    for (BYTE& kind : Controller(0).enclosureKinds)
        kind = 1;
    CollectControllers(1, g_controllers);
    EXPECT_EQ(g_controllers[0].enclosureCount, 128);
}

Bytes SensorStatus(std::initializer_list<std::pair<BYTE, DWORD>> records)
{
    Bytes status(I2_ENCLOSURE_STATUS_BYTES);
    size_t at = 68;
    for (const auto& record : records) {
        PutU8(status, at, record.first);
        PutU32(status, at + 4, record.second);
        at += 8;
    }
    return status;
}

TEST_F(CollectorTest, EnclosureListEndsAtTheFirstEmptyEntry)
{
    Controller(0).enclosureKinds[0] = 1;
    Controller(0).enclosureKinds[2] = 1;
    int rows = -1;
    CollectEnclosures(1, g_enclosures, &rows);
    EXPECT_EQ(rows, 1);
}

TEST_F(CollectorTest, EnclosureRowsRunOnAcrossControllers)
{
    for (int i : {0, 1})
        Controller(i).enclosureKinds[0] = Controller(i).enclosureKinds[1] = 1;
    int rows = -1;
    CollectEnclosures(2, g_enclosures, &rows);
    ASSERT_EQ(rows, 4);
    const int controllerIndexes[] = {0, 0, 1, 1};
    const int enclosureIndexes[] = {0, 1, 0, 1};
    for (int r = 0; r < 4; r++) {
        EXPECT_EQ(g_enclosures[r].rowNumber, r + 1);
        EXPECT_EQ(g_enclosures[r].controllerIndex, controllerIndexes[r]);
        EXPECT_EQ(g_enclosures[r].enclosureIndex, enclosureIndexes[r]);
    }
}

struct EnclosureCase {
    BYTE kind;
    Bytes status;
    int enclosureKind;
    const char* voltage1;
    const char* voltage2;
    const char* temperature1;
    const char* temperature2;
    int reading1, reading2;
};

TEST_F(CollectorTest, EnclosureSensorsByKind)
{
    const EnclosureCase cases[] = {
        {1, SensorStatus({{1, 5}, {1, 6}, {1, 7}, {3, 12000}, {5, 30}, {5, (DWORD)-2}}), 1, "12.00 V", "-1", "30 C",
         "-2 C", 5, 7},
        {1, SensorStatus({{3, 5000}, {3, 3300}, {4, 12050}, {2, 99}, {9, 1}}), 1, "3.30 V", "12.05 V", "-1", "-1", -1,
         -1},
        {2, SensorStatus({{5, 30}, {5, 41}, {1, 8}, {1, 9}}), 2, "-1", "-1", "41 C", "-1", 9, -1},
        {7, SensorStatus({{1, 5}, {3, 12000}, {5, 30}}), -1, "-1", "-1", "-1", "-1", -1, -1},
    };
    for (const EnclosureCase& c : cases) {
        ResetFakeLibrary();
        // A field without its sensor keeps what the row held before.
        EnclosureRow& row = g_enclosures[0];
        for (char* text : {row.voltageText1, row.voltageText2, row.temperatureText1, row.temperatureText2})
            strcpy(text, "-1");
        row.sensorReading1 = row.sensorReading2 = -1;
        Controller(0).enclosureKinds[0] = c.kind;
        Controller(0).enclosureStatus[0] = c.status;
        int rows = -1;
        CollectEnclosures(1, g_enclosures, &rows);
        ASSERT_EQ(rows, 1);
        EXPECT_EQ(row.enclosureKind, c.enclosureKind) << (int)c.kind;
        EXPECT_STREQ(row.voltageText1, c.voltage1) << (int)c.kind;
        EXPECT_STREQ(row.voltageText2, c.voltage2) << (int)c.kind;
        EXPECT_STREQ(row.temperatureText1, c.temperature1) << (int)c.kind;
        EXPECT_STREQ(row.temperatureText2, c.temperature2) << (int)c.kind;
        EXPECT_EQ(row.sensorReading1, c.reading1) << (int)c.kind;
        EXPECT_EQ(row.sensorReading2, c.reading2) << (int)c.kind;
    }
}

TEST_F(CollectorTest, DriveNamesNumbersAndControllerNumbering)
{
    for (DWORD id : {0u, 2u, 3u})
        Controller(0).AddDrive(id);
    Controller(1).AddDrive(1);
    int rows = -1;
    CollectPhysicalDrives(2, g_drives, &rows);
    ASSERT_EQ(rows, 4);
    const char* names[] = {"Disk 1", "eSATA 2", "eSATA 1", "Disk 2"};
    const int numbers[] = {1, 3, 4, 2};
    const int controllers[] = {1, 1, 1, 2};
    for (int r = 0; r < 4; r++) {
        EXPECT_EQ(g_drives[r].rowNumber, r + 1);
        EXPECT_STREQ(g_drives[r].driveName, names[r]);
        EXPECT_EQ(g_drives[r].driveNumber, numbers[r]);
        EXPECT_EQ(g_drives[r].controllerNumber, controllers[r]);
        EXPECT_EQ(g_drives[r].fixedMinusOne5, -1);
        EXPECT_EQ(g_drives[r].fixedMinusOne13, -1);
        EXPECT_EQ(g_drives[r].fixedOne14, 1);
    }
}

TEST_F(CollectorTest, DriveConditionInDriveAndExtentRows)
{
    const struct { DWORD valid, condition; int expected; } cases[] = {
        {0, 0, -1}, {0, 2, -1}, {1, 0, 3}, {1, 1, 2}, {1, 2, 1}, {1, 3, -1}, {1, 4, 0}, {9, 200, 0},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddDrive(0);
        PutU8(Controller(0).driveList, entry + 22, c.valid);
        PutU8(Controller(0).driveList, entry + 23, c.condition);
        Controller(0).AddExtent(entry, 1, 0, 0, 0, 0);
        int rows = -1;
        CollectPhysicalDrives(1, g_drives, &rows);
        CollectExtents(1, g_extents, &rows);
        EXPECT_EQ(g_drives[0].driveCondition, c.expected) << c.valid << "/" << c.condition;
        EXPECT_EQ(g_extents[0].driveCondition, c.expected) << c.valid << "/" << c.condition;
    }
}

TEST_F(CollectorTest, DriveEnclosureAndSlot)
{
    const struct { DWORD enclosureId; BYTE kind; int expectedKind, expectedSlot; } cases[] = {
        {255, 1, 0, -1}, {3, 1, 1, 5}, {3, 2, 2, 5}, {3, 0, 0, -1}, {3, 4, 0, -1},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddDrive(0);
        PutU16(Controller(0).driveList, entry + 14, c.enclosureId);
        PutU16(Controller(0).driveList, entry + 16, 5);
        Controller(0).enclosureKinds[3] = c.kind;
        int rows = -1;
        CollectPhysicalDrives(1, g_drives, &rows);
        EXPECT_EQ(g_drives[0].enclosureKind, c.expectedKind) << c.enclosureId << "/" << (int)c.kind;
        EXPECT_EQ(g_drives[0].slotNumber, c.expectedSlot) << c.enclosureId << "/" << (int)c.kind;
    }
}

TEST_F(CollectorTest, DriveSettingsAndMediaPatrol)
{
    const struct { BYTE applies74, value76, applies75, value77; DWORD patrol; int settingA, settingB, state; } cases[] = {
        {0, 1, 0, 1, 0, -1, -1, 1}, {1, 0, 1, 5, 1, 0, 1, 2}, {2, 1, 0, 0, 4, 1, -1, 5}, {1, 0, 1, 0, 5, 0, 0, 1},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        Controller(0).AddDrive(7);
        Bytes settings(I2_PHYSICAL_DRIVE_SETTINGS_BYTES);
        PutU8(settings, 74, c.applies74);
        PutU8(settings, 75, c.applies75);
        PutU8(settings, 76, c.value76);
        PutU8(settings, 77, c.value77);
        Controller(0).driveSettings[7] = settings;
        Bytes patrol(I2_MEDIA_PATROL_PROGRESS_BYTES);
        PutU16(patrol, 86, c.patrol);
        PutU16(patrol, 88, 88);
        PutU16(patrol, 90, 90);
        PutU16(patrol, 92, 92);
        Controller(0).mediaPatrol[7] = patrol;
        int rows = -1;
        CollectPhysicalDrives(1, g_drives, &rows);
        EXPECT_EQ(g_drives[0].settingA, c.settingA);
        EXPECT_EQ(g_drives[0].settingB, c.settingB);
        EXPECT_EQ(g_drives[0].mediaPatrolState, c.state);
        EXPECT_EQ(g_drives[0].mediaPatrolHalfWord92, 92);
        EXPECT_EQ(g_drives[0].mediaPatrolHalfWord88, 88);
        EXPECT_EQ(g_drives[0].mediaPatrolHalfWord90, 90);
    }
}

TEST_F(CollectorTest, DriveFieldsCopiedFromTheEntry)
{
    Bytes& list = Controller(0).driveList;
    size_t entry = Controller(0).AddDrive(0);
    PutU16(list, entry + 10, 0xBEEF);
    PutU8(list, entry + 21, 4);
    PutU64(list, entry + 24, 1953525168);
    PutU32(list, entry + 52, 52);
    PutU16(list, entry + 56, 56);
    PutU16(list, entry + 58, 58);
    PutText(list, entry + 64, "ST1000DM003");
    PutText(list, entry + 110, "CC43");
    PutU8(list, entry + 148, 148);
    Controller(0).AddExtent(entry, 1, 0x2, 0, 0, 0);
    Controller(0).AddExtent(entry, 2, 0x3, 255, 0, 0);
    int rows = -1;
    CollectPhysicalDrives(1, g_drives, &rows);
    const DriveRow& row = g_drives[0];
    EXPECT_EQ(row.driveHalfWord10, 0xBEEF);
    EXPECT_EQ(row.driveFlag21, 1);
    EXPECT_STREQ(row.capacityText, "1000204.89 MB");
    EXPECT_EQ(row.driveWord52, 52);
    EXPECT_EQ(row.driveHalfWord56, 56);
    EXPECT_EQ(row.driveHalfWord58, 58);
    EXPECT_STREQ(row.driveText64, "ST1000DM003");
    EXPECT_STREQ(row.driveText110, "CC43");
    EXPECT_EQ(row.driveByte148, 148);
    EXPECT_EQ(row.extentCount, 2);
    EXPECT_EQ(row.extentFlagSummary, 2);
    EXPECT_STREQ(row.ownerListText, "1,-1");
}

TEST_F(CollectorTest, OwnerListText)
{
    const struct { std::vector<DWORD> owners; const char* text; int summary; } cases[] = {
        {{}, "", 1},
        {{0, 1}, "1,2", 1},
        {{0, 255}, "1,-1", 1},
        // At most 15 characters, cut after a whole entry.
        {{9, 10, 11, 12, 13}, "10,11,12,13,14", 1},
        {{99, 100, 101, 102, 103}, "100,101,102,103", 1},
        {{999, 1000, 1001}, "1000,1001,1002", 1},
        {{9999, 10000, 10001}, "10000,10001", 1},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddDrive(0);
        for (DWORD owner : c.owners)
            Controller(0).AddExtent(entry, 0, 0x10, owner, 0, 0);
        int rows = -1;
        CollectPhysicalDrives(1, g_drives, &rows);
        EXPECT_STREQ(g_drives[0].ownerListText, c.text);
        EXPECT_EQ(g_drives[0].extentFlagSummary, c.summary);
    }
}

TEST_F(CollectorTest, ExtentStatesFromFlags)
{
    const struct { DWORD flags; int a, b, c; } cases[] = {
        {0, 1, 2, 5},
        {1u << 27 | 1u << 8 | 1u << 24, 2, 1, 5},
        {1u << 8 | 1u << 14, 3, 2, 5},
        {1u << 14 | 1u << 12, 6, 2, 5},
        {1u << 12 | 1u << 9, 4, 2, 5},
        {1u << 9, 5, 2, 5},
        {1u << 22 | 1u << 0 | 1u << 1, 1, 2, 2},
        {1u << 22 | 1u << 1 | 1u << 2, 1, 2, 3},
        {1u << 22 | 1u << 2 | 1u << 21, 1, 2, 4},
        {1u << 22 | 1u << 21, 1, 2, 1},
        {1u << 22, 1, 2, 0},
        {1u << 0 | 1u << 21, 1, 2, 5},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        Controller(0).AddExtent(Controller(0).AddDrive(0), 0, c.flags, 0, 0, 0);
        int rows = -1;
        CollectExtents(1, g_extents, &rows);
        ASSERT_EQ(rows, 1);
        EXPECT_EQ(g_extents[0].extentStateA, c.a) << std::hex << c.flags;
        EXPECT_EQ(g_extents[0].extentStateB, c.b) << std::hex << c.flags;
        EXPECT_EQ(g_extents[0].extentStateC, c.c) << std::hex << c.flags;
    }
}

TEST_F(CollectorTest, ExtentRowsSizesAndOwners)
{
    size_t first = Controller(0).AddDrive(4);
    Controller(0).AddExtent(first, 0x11, 0, 0, 2048, 2097152);
    Controller(0).AddExtent(first, 0x12, 0, 1, 2099200, 1953525168);
    Controller(0).AddDrive(5);
    Controller(1).AddExtent(Controller(1).AddDrive(0), 0x13, 0, 255, 0, 1);
    int rows = -1;
    CollectExtents(2, g_extents, &rows);
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(g_extents[0].rowNumber, 1);
    EXPECT_EQ(g_extents[0].driveNumber, 5);
    EXPECT_EQ(g_extents[0].extentCode, 0x11);
    EXPECT_STREQ(g_extents[0].sizeText1, "1073.74 MB");
    EXPECT_STREQ(g_extents[0].sizeText2, "1024.00 MB");
    EXPECT_STREQ(g_extents[0].startText, "1 MB");
    EXPECT_EQ(g_extents[0].ownerNumber, 1);
    EXPECT_STREQ(g_extents[1].sizeText1, "1000204.89 MB");
    EXPECT_STREQ(g_extents[1].sizeText2, "953869.71 MB");
    EXPECT_STREQ(g_extents[1].startText, "1075 MB");
    EXPECT_EQ(g_extents[1].ownerNumber, 2);
    EXPECT_EQ(g_extents[2].rowNumber, 3);
    EXPECT_EQ(g_extents[2].controllerNumber, 2);
    EXPECT_EQ(g_extents[2].driveNumber, 1);
    EXPECT_EQ(g_extents[2].ownerNumber, -1);
    EXPECT_STREQ(g_extents[2].sizeText1, "0.00 MB");
}

Bytes Progress(size_t bytes, size_t statusAt, BYTE status, size_t percentAt, DWORD percent, bool halfWord)
{
    Bytes reply(bytes);
    PutU8(reply, statusAt, status);
    if (halfWord)
        PutU16(reply, percentAt, percent);
    else
        PutU8(reply, percentAt, percent);
    return reply;
}

void SetAllProgress(FakeController& controller, DWORD logicalDriveId, BYTE status)
{
    controller.progress[{PROGRESS_REBUILD, logicalDriveId}] = Progress(88, 64, status, 66, 11, false);
    controller.progress[{PROGRESS_SYNCH, logicalDriveId}] = Progress(72, 70, status, 71, 22, false);
    controller.progress[{PROGRESS_REDUNDANCY, logicalDriveId}] = Progress(72, 70, status, 71, 33, false);
    controller.progress[{PROGRESS_INIT, logicalDriveId}] = Progress(524, 70, status, 71, 44, false);
    controller.progress[{PROGRESS_MIGRATION, logicalDriveId}] = Progress(208, 70, status, 68, 555, true);
}

TEST_F(CollectorTest, LogicalDriveActivityStateAndPercent)
{
    const struct { DWORD flags; BYTE status; int activity, state, percent; } cases[] = {
        {0, 0, 0, 2, 0},
        {1u << 8, 0, 1, 2, 11},
        {1u << 8, 3, 6, 2, 11},
        {1u << 8 | 1u << 9, 0, 1, 2, 44},
        {1u << 11, 3, 8, 2, 22},
        {1u << 10 | 1u << 12, 0, 3, 2, 33},
        {1u << 9, 3, 10, 2, 44},
        {1u << 12, 0, 4, 2, 555},
        {1u << 12, 3, 7, 2, 555},
        {1u << 25 | 1u << 24, 0, 0, 1, 0},
        {1u << 24 | 1u << 26, 0, 0, 0, 0},
        {1u << 26, 0, 0, 3, 0},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddLogicalDrive(6);
        PutU32(Controller(0).logicalDriveList, entry + 4, c.flags);
        SetAllProgress(Controller(0), 6, c.status);
        int rows = -1;
        CollectLogicalDrives(1, g_logicalDrives, &rows);
        ASSERT_EQ(rows, 1);
        EXPECT_EQ(g_logicalDrives[0].activityCode, c.activity) << std::hex << c.flags << " " << (int)c.status;
        EXPECT_EQ(g_logicalDrives[0].stateCode, c.state) << std::hex << c.flags;
        EXPECT_EQ(g_logicalDrives[0].progressPercent, c.percent) << std::hex << c.flags;
    }
}

TEST_F(CollectorTest, ProgressRequestsNameTheLogicalDrive)
{
    const struct { DWORD flags; BYTE secondValue; } cases[] = {{1u << 8, 0}, {1u << 12, 1}};
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddLogicalDrive(6);
        PutU32(Controller(0).logicalDriveList, entry + 4, c.flags);
        int rows = -1;
        CollectLogicalDrives(1, g_logicalDrives, &rows);
        // One call for the activity code, one for the percent.
        ASSERT_EQ(g_fakeLibrary.progressRequests.size(), 2u);
        for (const Bytes& request : g_fakeLibrary.progressRequests) {
            EXPECT_EQ(request[0], 6);
            EXPECT_EQ(request[4], c.secondValue);
        }
    }
}

TEST_F(CollectorTest, LogicalDriveLevelAndCachePolicy)
{
    const struct { DWORD level; int code; DWORD cache; const char* policy; } cases[] = {
        {0, 0, 0, "Write Through"}, {1, 1, 1, "Write Back"},   {5, 5, 4, "By Pass"},
        {10, 8, 9, "Auto Switch"},  {11, 8, 5, "Write Back"},  {16, 2, 2, "Write Through"},
        {80, 6, 8, "Auto Switch"},  {96, 7, 0, "Write Through"}, {6, -1, 0, "Write Through"},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        size_t entry = Controller(0).AddLogicalDrive(0);
        PutU8(Controller(0).logicalDriveList, entry + 2, c.level);
        PutU32(Controller(0).logicalDriveList, entry + 8, c.cache);
        int rows = -1;
        CollectLogicalDrives(1, g_logicalDrives, &rows);
        EXPECT_EQ(g_logicalDrives[0].levelCode, c.code) << c.level;
        EXPECT_STREQ(g_logicalDrives[0].cachePolicyText, c.policy) << c.cache;
    }
}

TEST_F(CollectorTest, LogicalDriveFieldsAndNumbering)
{
    for (DWORD id : {0u, 1u, 2u})
        Controller(0).AddLogicalDrive(id);
    for (DWORD id : {0u, 1u})
        Controller(1).AddLogicalDrive(id);
    Bytes& list = Controller(0).logicalDriveList;
    size_t entry = I2_REPLY_HEADER_BYTES;
    PutU64(list, entry + 12, 2097152);
    PutU16(list, entry + 38, 38);
    PutU32(list, entry + 44, 44);
    PutText(list, entry + 52, "Array One");
    PutU8(list, entry + 168, 168);
    PutU8(list, entry + 169, 169);
    PutU16(list, entry + 170, 0xFFFE);
    PutU8(list, entry + 172, 172);
    Bytes settings(I2_LOGICAL_DRIVE_SETTINGS_BYTES);
    PutU8(settings, 112, 3);
    PutU16(settings, 113, 0x0201);
    Controller(0).logicalDriveSettings[0] = settings;
    int rows = -1;
    CollectLogicalDrives(2, g_logicalDrives, &rows);
    ASSERT_EQ(rows, 5);
    const LogicalDriveRow& row = g_logicalDrives[0];
    EXPECT_STREQ(row.name, "Array One");
    EXPECT_STREQ(row.capacityText1, "1073.74 MB");
    EXPECT_STREQ(row.capacityText2, "1024.00 MB");
    EXPECT_EQ(row.halfWord38, 38);
    EXPECT_EQ(row.word44, 44);
    EXPECT_EQ(row.byte168, 168);
    EXPECT_EQ(row.byte169, 169);
    EXPECT_EQ(row.signedHalfWord170, -2);
    EXPECT_EQ(row.byte172, 172);
    EXPECT_EQ(row.settingsFlag112, 1);
    EXPECT_EQ(row.settingsHalfWord113, 0x0201);
    EXPECT_EQ(g_logicalDrives[1].settingsFlag112, 0);
    const int controllers[] = {1, 1, 1, 2, 2};
    const int numbers[] = {1, 2, 3, 1, 2};
    for (int r = 0; r < 5; r++) {
        EXPECT_EQ(g_logicalDrives[r].rowNumber, r + 1);
        EXPECT_EQ(g_logicalDrives[r].controllerNumber, controllers[r]);
        EXPECT_EQ(g_logicalDrives[r].logicalDriveNumber, numbers[r]);
    }
}

// Whatever the library writes, nothing is read or written past a reply or
// a table.
TEST_F(CollectorTest, UsedLengthsAreClampedToTheReply)
{
    const struct { DWORD usedLength; int driveEntries, logicalDriveEntries; } cases[] = {
        {0, 0, 0}, {63, 0, 0}, {64 + 663, 0, 3}, {0xFFFFFFFF, 0, 0}, {0x7FFFFFFF, 32, 128}, {64 + 664 * 2, 2, 6},
    };
    for (const auto& c : cases) {
        ResetFakeLibrary();
        PutU32(Controller(0).driveList, 36, c.usedLength);
        PutU32(Controller(0).logicalDriveList, 36, c.usedLength);
        int drives = -1, logicalDrives = -1;
        CollectPhysicalDrives(1, g_drives, &drives);
        CollectLogicalDrives(1, g_logicalDrives, &logicalDrives);
        EXPECT_EQ(drives, c.driveEntries) << c.usedLength;
        EXPECT_EQ(logicalDrives, c.logicalDriveEntries) << c.usedLength;
    }
}

TEST_F(CollectorTest, TablesStopAtTheirCapacity)
{
    for (int i : {0, 1}) {
        for (DWORD d = 0; d < 20; d++) {
            size_t entry = Controller(i).AddDrive(d);
            for (int x = 0; x < 8; x++)
                Controller(i).AddExtent(entry, x, 0, 0, 0, 0);
        }
        for (DWORD l = 0; l < 128; l++)
            Controller(i).AddLogicalDrive(l);
    }
    int drives = -1, extents = -1, logicalDrives = -1, batteries = -1;
    CollectPhysicalDrives(2, g_drives, &drives);
    CollectExtents(2, g_extents, &extents);
    CollectLogicalDrives(2, g_logicalDrives, &logicalDrives);
    EXPECT_EQ(drives, MAX_DRIVE_ROWS);
    EXPECT_EQ(g_drives[MAX_DRIVE_ROWS - 1].controllerNumber, 2);
    EXPECT_EQ(g_drives[MAX_DRIVE_ROWS - 1].driveNumber, 12);
    EXPECT_EQ(extents, MAX_EXTENT_ROWS);
    EXPECT_EQ(logicalDrives, MAX_LOGICAL_DRIVE_ROWS);
    for (int i = 0; i < 5; i++)
        Controller(i).SetBattery(1, 3000, 1000);
    BatteryRow manyBatteries[MAX_BATTERY_ROWS + 1] = {};
    CollectBatteries(5, manyBatteries, &batteries);
    EXPECT_EQ(batteries, MAX_BATTERY_ROWS);
    EXPECT_EQ(manyBatteries[MAX_BATTERY_ROWS].rowNumber, 0);
}

TEST_F(CollectorTest, ExtentCountAndTextsStayWithinTheirFields)
{
    Bytes& list = Controller(0).driveList;
    size_t entry = Controller(0).AddDrive(0);
    for (size_t k = 64; k < I2_PHYSICAL_DRIVE_RECORD_BYTES; k++)
        PutU8(list, entry + k, 'A');
    PutU8(list, entry + 151, 200);
    size_t ldEntry = Controller(0).AddLogicalDrive(0);
    for (size_t k = 52; k < I2_LOGICAL_DRIVE_RECORD_BYTES; k++)
        PutU8(Controller(0).logicalDriveList, ldEntry + k, 'B');
    int rows = -1, extents = -1, logicalDrives = -1;
    CollectPhysicalDrives(1, g_drives, &rows);
    CollectExtents(1, g_extents, &extents);
    CollectLogicalDrives(1, g_logicalDrives, &logicalDrives);
    EXPECT_EQ(g_drives[0].extentCount, 16);
    EXPECT_EQ(extents, 16);
    // Each text ends where the entry's next field begins.
    EXPECT_EQ(std::string(g_drives[0].driveText64), std::string(46, 'A'));
    EXPECT_EQ(std::string(g_drives[0].driveText110), std::string(38, 'A'));
    EXPECT_EQ(std::string(g_logicalDrives[0].name), std::string(63, 'B'));
    EXPECT_LE(strlen(g_drives[0].ownerListText), 15u);
}

}  // namespace
