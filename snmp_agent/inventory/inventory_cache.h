#pragma once
// The agent's copy of the storage inventory. Requests read only the
// published cache, under the inventory lock; the refresh builds staging
// copies of the same shape and publishes them in one step.
#include <windows.h>

#define MAX_CONTROLLER_ROWS 2
#define MAX_DRIVE_ROWS 32
#define MAX_BATTERY_ROWS 4
#define MAX_EXTENT_ROWS 256
#define MAX_LOGICAL_DRIVE_ROWS 256
#define MAX_ENCLOSURE_ROWS 32

#define INVENTORY_TEXT_BYTES 128

// Fields in storage order; every row starts with its 1-based row number.
struct ControllerRow {
    int rowNumber;
    int controllerNumber;
    char modelText[128];
    int pathWord1;
    int pathWord2;
    int pathWord3;
    int pathWord4;
    int infoFlag329;
    int infoWord332;
    int infoHalfWord348;
    int infoHalfWord338;
    int enclosureCount;
    int infoByte316;
    int infoByte317;
    int infoByte321;
    int infoByte318;
    int infoByte320;
    int settingsByte82;
    int batteryState;
    int infoFlag324;
    int infoFlag322;
    int infoByte325;
    char versionText1[64];
    int buzzerState;
    int infoProduct;
    int infoByte378;
    char versionText2[64];
};

struct DriveRow {
    int rowNumber;
    int driveNumber;
    char driveName[32];
    int controllerNumber;
    int driveHalfWord10;
    int fixedMinusOne5;
    char driveText64[64];
    char driveText110[64];
    char capacityText[128];
    int driveWord52;
    int driveHalfWord56;
    int driveHalfWord58;
    int driveByte148;
    int fixedMinusOne13;
    int fixedOne14;
    int extentFlagSummary;
    int driveCondition;
    int mediaPatrolState;
    int mediaPatrolHalfWord92;
    int mediaPatrolHalfWord88;
    int mediaPatrolHalfWord90;
    int slotNumber;
    int enclosureKind;
    int extentCount;
    int driveFlag21;
    char ownerListText[16];
    int settingA;
    int settingB;
};

struct BatteryRow {
    int rowNumber;
    int controllerNumber;
    int batteryState;
    char temperatureText[32];
    char voltageText[32];
};

struct ExtentRow {
    int rowNumber;
    int controllerNumber;
    int driveNumber;
    int extentCode;
    char sizeText1[128];
    char sizeText2[128];
    char startText[128];
    int extentStateA;
    int extentStateB;
    int extentStateC;
    int driveCondition;
    int ownerNumber;
};

struct LogicalDriveRow {
    int rowNumber;
    int logicalDriveNumber;
    int controllerNumber;
    char name[64];
    char capacityText1[128];
    char capacityText2[128];
    int word44;
    int levelCode;
    char cachePolicyText[64];
    int halfWord38;
    int activityCode;
    int stateCode;
    int progressPercent;
    int settingsFlag112;
    int settingsHalfWord113;
    int byte168;
    int byte169;
    int signedHalfWord170;
    int byte172;
};

struct EnclosureRow {
    int rowNumber;
    int controllerIndex;
    int enclosureIndex;
    int enclosureKind;
    char voltageText1[32];
    char voltageText2[32];
    char temperatureText1[32];
    char temperatureText2[32];
    int sensorReading1;
    int sensorReading2;
};

struct InventoryCache {
    int controllerCount;
    char driverVersionText[INVENTORY_TEXT_BYTES];
    char controllerModelText[INVENTORY_TEXT_BYTES];
    ControllerRow controllers[MAX_CONTROLLER_ROWS];
    DriveRow drives[MAX_DRIVE_ROWS];
    int driveCount;
    BatteryRow batteries[MAX_BATTERY_ROWS];
    int batteryCount;
    ExtentRow extents[MAX_EXTENT_ROWS];
    int extentCount;
    LogicalDriveRow logicalDrives[MAX_LOGICAL_DRIVE_ROWS];
    int logicalDriveCount;
    EnclosureRow enclosures[MAX_ENCLOSURE_ROWS];
    int enclosureCount;
};

// The published cache: zero-filled at load, changed only by the refresh
// while it holds the inventory lock.
extern InventoryCache g_inventory;

// Rebuilds the staging copies from the storage library and publishes them.
void RefreshInventory();
