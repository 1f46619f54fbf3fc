// Logical drive rows, with the background operation that runs on each
// logical drive and how far it has got.
#include <stdio.h>
#include <string.h>

#include "collectors.h"
#include "reply_fields.h"

typedef int (*ProgressCall)(I2Address address, uint32_t zero, const void* request, void* reply, uint32_t replySize);

enum PercentWidth { PERCENT_BYTE, PERCENT_HALF_WORD };

struct BackgroundOperation {
    int activityBit;
    ProgressCall call;
    BOOL hasSecondValue;
    DWORD secondValue;
    DWORD replyBytes;
    size_t statusByte;
    size_t percentAt;
    PercentWidth percentWidth;
    int activityCode;
    int activityCodeWhenStatus3;
};

// In the order the activity code looks for a running operation.
static const BackgroundOperation g_operations[] = {
    {8, i2_getRebuildProgress, TRUE, 0, I2_REBUILD_PROGRESS_BYTES, 64, 66, PERCENT_BYTE, 1, 6},
    {11, i2_getLogDrvSynchProgress, FALSE, 0, I2_SYNCH_PROGRESS_BYTES, 70, 71, PERCENT_BYTE, 2, 8},
    {10, i2_getRedundancyCheckProgress, FALSE, 0, I2_REDUNDANCY_CHECK_PROGRESS_BYTES, 70, 71, PERCENT_BYTE, 3, 9},
    {9, i2_getLogDrvInitProgress, FALSE, 0, I2_INIT_PROGRESS_BYTES, 70, 71, PERCENT_BYTE, 5, 10},
    {12, i2_getMigrationProgress, TRUE, 1, I2_MIGRATION_PROGRESS_BYTES, 70, 68, PERCENT_HALF_WORD, 4, 7},
};

// The progress percent looks for them in another order: initialisation,
// rebuild, synchronisation, redundancy check, migration.
static const int g_percentOrder[] = {3, 0, 1, 2, 4};

// A name without a NUL ends where byte 168 begins.
#define LOGICAL_DRIVE_NAME_ROOM (168 - 52)

#define OPERATION_COUNT (sizeof(g_operations) / sizeof(g_operations[0]))
#define LARGEST_PROGRESS_REPLY I2_INIT_PROGRESS_BYTES

static const struct { DWORD levelByte; int levelCode; } g_levelCodes[] = {
    {0, 0}, {1, 1}, {5, 5}, {10, 8}, {11, 8}, {16, 2}, {80, 6}, {96, 7},
};

static const struct { int bit; const char* text; } g_cachePolicies[] = {
    {3, "Auto Switch"}, {0, "Write Back"}, {2, "By Pass"},
};

static void FetchLogicalDriveList(int controllerIndex, BYTE* reply)
{
    BYTE request[8] = {};
    WriteRequestU32(request, 0, 0);
    WriteRequestU32(request, 4, 128);
    ZeroMemory(reply, I2_LOGICAL_DRIVE_LIST_BYTES);
    i2_getLogDrvInfo(ControllerAddress(controllerIndex), 0, request, reply, I2_LOGICAL_DRIVE_LIST_BYTES);
}

static void ReadLogicalDriveSettings(int controllerIndex, DWORD logicalDriveId, LogicalDriveRow* row)
{
    BYTE request[8] = {};
    BYTE reply[I2_LOGICAL_DRIVE_SETTINGS_BYTES] = {};
    WriteRequestU32(request, 0, logicalDriveId);
    WriteRequestU32(request, 4, 1);
    i2_getLogDrvSettings(ControllerAddress(controllerIndex), 0, request, reply, sizeof(reply));
    row->settingsFlag112 = ReadReplyU8(reply, 112) != 0 ? 1 : 0;
    row->settingsHalfWord113 = (int)ReadReplyU16(reply, 113);
}

// Asks for the operation's progress into a zero-filled reply.
static void FetchProgress(int controllerIndex, DWORD logicalDriveId, const BackgroundOperation* operation, BYTE* reply)
{
    BYTE request[8] = {};
    WriteRequestU32(request, 0, logicalDriveId);
    if (operation->hasSecondValue)
        WriteRequestU32(request, 4, operation->secondValue);
    ZeroMemory(reply, operation->replyBytes);
    operation->call(ControllerAddress(controllerIndex), 0, request, reply, operation->replyBytes);
}

static int ActivityCode(int controllerIndex, DWORD logicalDriveId, DWORD activityFlags)
{
    for (size_t k = 0; k < OPERATION_COUNT; k++) {
        const BackgroundOperation* operation = &g_operations[k];
        if (!(activityFlags & (1u << operation->activityBit)))
            continue;
        BYTE reply[LARGEST_PROGRESS_REPLY];
        FetchProgress(controllerIndex, logicalDriveId, operation, reply);
        if (ReadReplyU8(reply, operation->statusByte) == 3)
            return operation->activityCodeWhenStatus3;
        return operation->activityCode;
    }
    return 0;
}

static int ProgressPercent(int controllerIndex, DWORD logicalDriveId, DWORD activityFlags)
{
    for (size_t k = 0; k < OPERATION_COUNT; k++) {
        const BackgroundOperation* operation = &g_operations[g_percentOrder[k]];
        if (!(activityFlags & (1u << operation->activityBit)))
            continue;
        BYTE reply[LARGEST_PROGRESS_REPLY];
        FetchProgress(controllerIndex, logicalDriveId, operation, reply);
        if (operation->percentWidth == PERCENT_HALF_WORD)
            return (int)ReadReplyU16(reply, operation->percentAt);
        return (int)ReadReplyU8(reply, operation->percentAt);
    }
    return 0;
}

static int LevelCode(DWORD levelByte)
{
    for (size_t k = 0; k < sizeof(g_levelCodes) / sizeof(g_levelCodes[0]); k++)
        if (g_levelCodes[k].levelByte == levelByte)
            return g_levelCodes[k].levelCode;
    return -1;
}

static const char* CachePolicyText(DWORD cacheFlags)
{
    for (size_t k = 0; k < sizeof(g_cachePolicies) / sizeof(g_cachePolicies[0]); k++)
        if (cacheFlags & (1u << g_cachePolicies[k].bit))
            return g_cachePolicies[k].text;
    return "Write Through";
}

static int StateCode(DWORD activityFlags)
{
    if (activityFlags & (1u << 25))
        return 1;
    if (activityFlags & (1u << 24))
        return 0;
    if (activityFlags & (1u << 26))
        return 3;
    return 2;
}

static void CollectLogicalDrive(int controllerIndex, const BYTE* entry, LogicalDriveRow* row)
{
    DWORD logicalDriveId = ReadReplyU16(entry, 48);
    DWORD activityFlags = ReadReplyU32(entry, 4);
    ReadLogicalDriveSettings(controllerIndex, logicalDriveId, row);
    row->controllerNumber = controllerIndex + 1;
    row->logicalDriveNumber = (int)logicalDriveId + 1;
    CopyReplyText(row->name, sizeof(row->name), entry + 52, LOGICAL_DRIVE_NAME_ROOM);
    FormatDecimalMegabytes(row->capacityText1, sizeof(row->capacityText1), ReadReplyU64(entry, 12));
    FormatBinaryMegabytes(row->capacityText2, sizeof(row->capacityText2), ReadReplyU64(entry, 12));
    row->word44 = (int)ReadReplyU32(entry, 44);
    row->byte168 = (int)ReadReplyU8(entry, 168);
    row->byte169 = (int)ReadReplyU8(entry, 169);
    row->byte172 = (int)ReadReplyU8(entry, 172);
    row->signedHalfWord170 = (int)(short)ReadReplyU16(entry, 170);
    row->levelCode = LevelCode(ReadReplyU8(entry, 2));
    snprintf(row->cachePolicyText, sizeof(row->cachePolicyText), "%s", CachePolicyText(ReadReplyU32(entry, 8)));
    row->halfWord38 = (int)ReadReplyU16(entry, 38);
    row->activityCode = ActivityCode(controllerIndex, logicalDriveId, activityFlags);
    row->stateCode = StateCode(activityFlags);
    row->progressPercent = ProgressPercent(controllerIndex, logicalDriveId, activityFlags);
}

void CollectLogicalDrives(int controllerCount, LogicalDriveRow* rows, int* rowCount)
{
    static BYTE list[I2_LOGICAL_DRIVE_LIST_BYTES];
    int written = 0;
    for (int i = 0; i < controllerCount; i++) {
        FetchLogicalDriveList(i, list);
        int entries = CountListEntries(list, sizeof(list), I2_LOGICAL_DRIVE_RECORD_BYTES);
        for (int k = 0; k < entries && written < MAX_LOGICAL_DRIVE_ROWS; k++) {
            LogicalDriveRow* row = &rows[written++];
            row->rowNumber = written;
            CollectLogicalDrive(i, list + I2_REPLY_HEADER_BYTES + (size_t)k * I2_LOGICAL_DRIVE_RECORD_BYTES, row);
        }
    }
    *rowCount = written;
}
