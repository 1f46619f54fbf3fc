// Physical drive rows and extent rows, both from each controller's
// physical drive list; each collector fetches the list itself.
#include <stdio.h>
#include <string.h>

#include "collectors.h"
#include "reply_fields.h"

#define MAX_EXTENTS_PER_DRIVE 16
#define EXTENT_RECORDS_AT 152
#define EXTENT_RECORD_BYTES 32
#define NO_ENCLOSURE 255
#define NO_OWNER 255
// A drive text without a NUL ends where the next field of the entry begins.
#define DRIVE_TEXT_64_ROOM (110 - 64)
#define DRIVE_TEXT_110_ROOM (148 - 110)

static void FetchPhysicalDriveList(int controllerIndex, BYTE* reply)
{
    BYTE request[10] = {};
    WriteRequestU32(request, 0, 0);
    WriteRequestU32(request, 4, 128);
    WriteRequestU16(request, 8, 255);
    ZeroMemory(reply, I2_PHYSICAL_DRIVE_LIST_BYTES);
    i2_getPhyDrvInfo(ControllerAddress(controllerIndex), 0, request, reply, I2_PHYSICAL_DRIVE_LIST_BYTES);
}

static const BYTE* DriveEntry(const BYTE* list, int index)
{
    return list + I2_REPLY_HEADER_BYTES + (size_t)index * I2_PHYSICAL_DRIVE_RECORD_BYTES;
}

static int CountExtentRecords(const BYTE* entry)
{
    DWORD count = ReadReplyU8(entry, 151);
    return count < MAX_EXTENTS_PER_DRIVE ? (int)count : MAX_EXTENTS_PER_DRIVE;
}

static const BYTE* ExtentRecord(const BYTE* entry, int index)
{
    return entry + EXTENT_RECORDS_AT + (size_t)index * EXTENT_RECORD_BYTES;
}

static int OwnerNumber(const BYTE* extent)
{
    DWORD owner = ReadReplyU16(extent, 8);
    return owner == NO_OWNER ? -1 : (int)owner + 1;
}

// From the condition-valid byte 22 and the condition byte 23.
static int DriveCondition(const BYTE* entry)
{
    static const int g_conditions[] = {3, 2, 1, -1};
    if (ReadReplyU8(entry, 22) == 0)
        return -1;
    DWORD condition = ReadReplyU8(entry, 23);
    return condition < 4 ? g_conditions[condition] : 0;
}

// -1 when the setting does not apply, else whether it is on.
static int DriveSetting(const BYTE* settings, size_t appliesAt, size_t valueAt)
{
    if (ReadReplyU8(settings, appliesAt) == 0)
        return -1;
    return ReadReplyU8(settings, valueAt) != 0 ? 1 : 0;
}

static void ReadDriveSettings(int controllerIndex, DWORD driveId, DriveRow* row)
{
    BYTE request[10] = {};
    BYTE reply[I2_PHYSICAL_DRIVE_SETTINGS_BYTES] = {};
    WriteRequestU32(request, 0, driveId);
    WriteRequestU32(request, 4, 1);
    WriteRequestU16(request, 8, 1);
    i2_getPhyDrvSettings(ControllerAddress(controllerIndex), 0, request, reply, sizeof(reply));
    row->settingB = DriveSetting(reply, 75, 77);
    row->settingA = DriveSetting(reply, 74, 76);
}

static void ReadMediaPatrol(int controllerIndex, DWORD driveId, DriveRow* row)
{
    BYTE request[8] = {};
    BYTE reply[I2_MEDIA_PATROL_PROGRESS_BYTES] = {};
    WriteRequestU32(request, 0, driveId);
    WriteRequestU32(request, 4, 1);
    i2_getHBAMediaPatrolProgress(ControllerAddress(controllerIndex), 0, request, reply, sizeof(reply));
    DWORD state = ReadReplyU16(reply, 86);
    row->mediaPatrolState = state >= 1 && state <= 4 ? (int)state + 1 : 1;
    row->mediaPatrolHalfWord92 = (int)ReadReplyU16(reply, 92);
    row->mediaPatrolHalfWord88 = (int)ReadReplyU16(reply, 88);
    row->mediaPatrolHalfWord90 = (int)ReadReplyU16(reply, 90);
}

static void ReadDriveEnclosure(int controllerIndex, const BYTE* entry, DriveRow* row)
{
    DWORD enclosureId = ReadReplyU16(entry, 14);
    row->enclosureKind = 0;
    row->slotNumber = -1;
    if (enclosureId == NO_ENCLOSURE)
        return;
    DWORD kind = FetchEnclosureKind(controllerIndex, enclosureId);
    if (kind == 1 || kind == 2) {
        row->enclosureKind = (int)kind;
        row->slotNumber = (int)ReadReplyU16(entry, 16);
    }
}

// Drive ports 2 and 3 are the two eSATA ports, numbered from the back.
static void FormatDriveName(char* text, size_t textBytes, DWORD driveId)
{
    if (driveId == 2)
        snprintf(text, textBytes, "%s %d", "eSATA", 2);
    else if (driveId == 3)
        snprintf(text, textBytes, "%s %d", "eSATA", 1);
    else
        snprintf(text, textBytes, "%s %d", "Disk", (int)driveId + 1);
}

// "1,2,-1": the owners of the drive's extents, cut after the last whole
// entry that fits the field.
static void FormatOwnerList(char* text, size_t textBytes, const BYTE* entry)
{
    size_t length = 0;
    text[0] = '\0';
    for (int x = 0; x < CountExtentRecords(entry); x++) {
        char item[16];
        int itemLength = snprintf(item, sizeof(item), length == 0 ? "%d" : ",%d", OwnerNumber(ExtentRecord(entry, x)));
        if (length + (size_t)itemLength + 1 > textBytes)
            break;
        memcpy(text + length, item, (size_t)itemLength + 1);
        length += (size_t)itemLength;
    }
}

static int ExtentFlagSummary(const BYTE* entry)
{
    for (int x = 0; x < CountExtentRecords(entry); x++)
        if (ReadReplyU32(ExtentRecord(entry, x), 4) & 1)
            return 2;
    return 1;
}

static void CollectPhysicalDrive(int controllerIndex, const BYTE* entry, DriveRow* row)
{
    DWORD driveId = ReadReplyU16(entry, 4);
    ReadDriveSettings(controllerIndex, driveId, row);
    ReadMediaPatrol(controllerIndex, driveId, row);
    row->controllerNumber = controllerIndex + 1;
    row->driveNumber = (int)driveId + 1;
    FormatDriveName(row->driveName, sizeof(row->driveName), driveId);
    row->driveHalfWord10 = (int)ReadReplyU16(entry, 10);
    row->fixedMinusOne5 = -1;
    CopyReplyText(row->driveText64, sizeof(row->driveText64), entry + 64, DRIVE_TEXT_64_ROOM);
    CopyReplyText(row->driveText110, sizeof(row->driveText110), entry + 110, DRIVE_TEXT_110_ROOM);
    FormatDecimalMegabytes(row->capacityText, sizeof(row->capacityText), ReadReplyU64(entry, 24));
    row->driveWord52 = (int)ReadReplyU32(entry, 52);
    row->driveHalfWord56 = (int)ReadReplyU16(entry, 56);
    row->driveHalfWord58 = (int)ReadReplyU16(entry, 58);
    row->driveByte148 = (int)ReadReplyU8(entry, 148);
    row->fixedMinusOne13 = -1;
    row->fixedOne14 = 1;
    row->extentFlagSummary = ExtentFlagSummary(entry);
    row->driveCondition = DriveCondition(entry);
    FormatOwnerList(row->ownerListText, sizeof(row->ownerListText), entry);
    ReadDriveEnclosure(controllerIndex, entry, row);
    row->extentCount = CountExtentRecords(entry);
    row->driveFlag21 = ReadReplyU8(entry, 21) != 0 ? 1 : 0;
}

void CollectPhysicalDrives(int controllerCount, DriveRow* rows, int* rowCount)
{
    static BYTE list[I2_PHYSICAL_DRIVE_LIST_BYTES];
    int written = 0;
    for (int i = 0; i < controllerCount; i++) {
        FetchPhysicalDriveList(i, list);
        int entries = CountListEntries(list, sizeof(list), I2_PHYSICAL_DRIVE_RECORD_BYTES);
        for (int k = 0; k < entries && written < MAX_DRIVE_ROWS; k++) {
            DriveRow* row = &rows[written++];
            row->rowNumber = written;
            CollectPhysicalDrive(i, DriveEntry(list, k), row);
        }
    }
    *rowCount = written;
}

// A from the first matching flag of 27, 8, 14, 12, 9; C only while bit 22 is set.
static int ExtentStateA(DWORD flags)
{
    static const struct { int bit; int state; } g_states[] = {{27, 2}, {8, 3}, {14, 6}, {12, 4}, {9, 5}};
    for (size_t k = 0; k < sizeof(g_states) / sizeof(g_states[0]); k++)
        if (flags & (1u << g_states[k].bit))
            return g_states[k].state;
    return 1;
}

static int ExtentStateC(DWORD flags)
{
    static const struct { int bit; int state; } g_states[] = {{0, 2}, {1, 3}, {2, 4}, {21, 1}};
    if (!(flags & (1u << 22)))
        return 5;
    for (size_t k = 0; k < sizeof(g_states) / sizeof(g_states[0]); k++)
        if (flags & (1u << g_states[k].bit))
            return g_states[k].state;
    return 0;
}

static void CollectExtent(int controllerIndex, const BYTE* entry, const BYTE* extent, ExtentRow* row)
{
    DWORD flags = ReadReplyU32(extent, 4);
    row->controllerNumber = controllerIndex + 1;
    row->driveNumber = (int)ReadReplyU16(entry, 4) + 1;
    row->extentCode = (int)ReadReplyU16(extent, 0);
    FormatDecimalMegabytes(row->sizeText1, sizeof(row->sizeText1), ReadReplyU64(extent, 24));
    FormatBinaryMegabytes(row->sizeText2, sizeof(row->sizeText2), ReadReplyU64(extent, 24));
    FormatWholeDecimalMegabytes(row->startText, sizeof(row->startText), ReadReplyU64(extent, 16));
    row->extentStateA = ExtentStateA(flags);
    row->extentStateB = flags & (1u << 24) ? 1 : 2;
    row->extentStateC = ExtentStateC(flags);
    row->driveCondition = DriveCondition(entry);
    row->ownerNumber = OwnerNumber(extent);
}

void CollectExtents(int controllerCount, ExtentRow* rows, int* rowCount)
{
    static BYTE list[I2_PHYSICAL_DRIVE_LIST_BYTES];
    int written = 0;
    for (int i = 0; i < controllerCount; i++) {
        FetchPhysicalDriveList(i, list);
        int entries = CountListEntries(list, sizeof(list), I2_PHYSICAL_DRIVE_RECORD_BYTES);
        for (int k = 0; k < entries; k++) {
            const BYTE* entry = DriveEntry(list, k);
            for (int x = 0; x < CountExtentRecords(entry) && written < MAX_EXTENT_ROWS; x++) {
                ExtentRow* row = &rows[written++];
                row->rowNumber = written;
                CollectExtent(i, entry, ExtentRecord(entry, x), row);
            }
        }
    }
    *rowCount = written;
}
