// Controller rows: discovery path, buzzer, both information pages, settings,
// battery state and the number of enclosures behind each controller.
#include <stdio.h>
#include <string.h>

#include "collectors.h"
#include "reply_fields.h"

#define ENCLOSURE_INDEXES_PER_CONTROLLER 128
#define ENCLOSURE_KIND_BYTE 78
#define BATTERY_STATUS_BYTE 110

static void ReadDiscoveryPath(int controllerIndex, ControllerRow* row)
{
    BYTE reply[I2_DISCOVER_PATH_BYTES] = {};
    i2_getDiscoverPath(ControllerAddress(controllerIndex), reply, sizeof(reply));
    row->pathWord1 = (int)ReadReplyU32(reply, 464);
    row->pathWord2 = (int)ReadReplyU32(reply, 468);
    row->pathWord3 = (int)ReadReplyU32(reply, 472);
    row->pathWord4 = (int)ReadReplyU32(reply, 476);
}

// 1 when the buzzer sounds (status byte 0), 0 when silenced, -1 unknown.
static int ReadBuzzerState(int controllerIndex)
{
    BYTE status = 0;
    if (i2_getBuzzerStatus(ControllerAddress(controllerIndex), 0, &status, sizeof(status)) != 0)
        return -1;
    return status == 0 ? 1 : 0;
}

static void FetchControllerPage(int controllerIndex, DWORD kind, BYTE* reply, DWORD replyBytes)
{
    BYTE request[10] = {};
    WriteRequestU32(request, 0, (DWORD)controllerIndex);
    WriteRequestU32(request, 4, 1);
    WriteRequestU16(request, 8, kind);
    ZeroMemory(reply, replyBytes);
    i2_getControllerInfo(ControllerAddress(controllerIndex), 0, request, reply, replyBytes);
}

static void FetchControllerSettings(int controllerIndex, BYTE* reply)
{
    BYTE request[10] = {};
    WriteRequestU32(request, 0, (DWORD)controllerIndex);
    WriteRequestU32(request, 4, 1);
    ZeroMemory(reply, I2_CONTROLLER_SETTINGS_BYTES);
    i2_getControllerSettings(ControllerAddress(controllerIndex), 0, request, reply, I2_CONTROLLER_SETTINGS_BYTES);
}

DWORD FetchBatteryStatus(int controllerIndex, BYTE* reply)
{
    BYTE request[4] = {};
    ZeroMemory(reply, I2_BATTERY_INFO_BYTES);
    i2_getBatteryInfo(ControllerAddress(controllerIndex), 0, request, reply, I2_BATTERY_INFO_BYTES);
    return ReadReplyU8(reply, BATTERY_STATUS_BYTE);
}

DWORD FetchEnclosureKind(int controllerIndex, DWORD enclosureIndex)
{
    BYTE request[4] = {};
    BYTE reply[I2_REPLY_HEADER_BYTES + I2_ENCLOSURE_RECORD_BYTES] = {};
    WriteRequestU16(request, 0, enclosureIndex);
    WriteRequestU16(request, 2, 1);
    i2_getEnclosureInfo(ControllerAddress(controllerIndex), 0, request, reply, sizeof(reply));
    return ReadReplyU8(reply, ENCLOSURE_KIND_BYTE);
}

static int CountEnclosures(int controllerIndex)
{
    int count = 0;
    for (DWORD k = 0; k < ENCLOSURE_INDEXES_PER_CONTROLLER; k++)
        if (FetchEnclosureKind(controllerIndex, k) != 0)
            count++;
    return count;
}

// Battery status 0 means no battery: the row keeps its last state then.
static void UpdateBatteryState(DWORD batteryStatus, ControllerRow* row)
{
    if (batteryStatus == 0)
        return;
    DWORD state = batteryStatus & 0x7F;
    row->batteryState = state <= 4 ? (int)state + 1 : 0;
}

static void CopyPageZeroFields(const BYTE* page0, ControllerRow* row)
{
    row->infoFlag329 = ReadReplyU8(page0, 329) == 1 ? 1 : 0;
    row->infoWord332 = (int)ReadReplyU32(page0, 332);
    row->infoHalfWord348 = (int)ReadReplyU16(page0, 348);
    row->infoHalfWord338 = (int)ReadReplyU16(page0, 338);
    row->infoByte316 = (int)ReadReplyU8(page0, 316);
    row->infoByte317 = (int)ReadReplyU8(page0, 317);
    row->infoByte321 = (int)ReadReplyU8(page0, 321);
    row->infoByte318 = (int)ReadReplyU8(page0, 318);
    row->infoByte320 = (int)ReadReplyU8(page0, 320);
    row->infoProduct = (int)(ReadReplyU16(page0, 376) * ReadReplyU8(page0, 378));
    row->infoByte378 = (int)ReadReplyU8(page0, 378);
    row->infoFlag324 = ReadReplyU8(page0, 324) != 0 ? 1 : 0;
    row->infoFlag322 = ReadReplyU8(page0, 322) != 0 ? 1 : 0;
    row->infoByte325 = (int)ReadReplyU8(page0, 325);
}

// Collects one controller into its row; TRUE when it is the eSATA-naming kind.
static BOOL CollectController(int controllerIndex, ControllerRow* row)
{
    BYTE page0[I2_CONTROLLER_INFO_BYTES];
    BYTE page2[I2_CONTROLLER_INFO_KIND2_BYTES];
    BYTE settings[I2_CONTROLLER_SETTINGS_BYTES];
    BYTE battery[I2_BATTERY_INFO_BYTES];

    ReadDiscoveryPath(controllerIndex, row);
    row->buzzerState = ReadBuzzerState(controllerIndex);
    FetchControllerPage(controllerIndex, 0, page0, sizeof(page0));
    FetchControllerPage(controllerIndex, 2, page2, sizeof(page2));
    FetchControllerSettings(controllerIndex, settings);
    DWORD batteryStatus = FetchBatteryStatus(controllerIndex, battery);

    row->rowNumber = controllerIndex + 1;
    row->controllerNumber = controllerIndex + 1;
    DWORD deviceWord = ReadReplyU32(page0, 72);
    DWORD subsystemWord = ReadReplyU32(page0, 76);
    LookUpModelName(deviceWord, subsystemWord, row->modelText, sizeof(row->modelText));
    CopyPageZeroFields(page0, row);
    row->enclosureCount = CountEnclosures(controllerIndex);
    UpdateBatteryState(batteryStatus, row);
    row->settingsByte82 = (int)ReadReplyU8(settings, 82);
    FormatVersionWords(row->versionText1, sizeof(row->versionText1), page0, 300);
    FormatVersionWords(row->versionText2, sizeof(row->versionText2), page2, 72);
    return IsEsataNamingController(deviceWord, subsystemWord);
}

BOOL CollectControllers(int controllerCount, ControllerRow* rows)
{
    BOOL esataNamingMet = FALSE;
    for (int i = 0; i < controllerCount && i < MAX_CONTROLLER_ROWS; i++)
        if (CollectController(i, &rows[i]))
            esataNamingMet = TRUE;
    return esataNamingMet;
}
