// Collects the whole inventory into staging copies without a lock, then
// publishes them in one step, so that a request sees either the old or the
// new inventory, never a mixture.
#include <stdio.h>
#include <string.h>

#include "../agent_state.h"
#include "../mib/mib_registry.h"
#include "collectors.h"
#include "reply_fields.h"

InventoryCache g_inventory;

// Staging rows are never cleared: a field a collector leaves alone keeps
// what the previous refresh wrote into it.
static ControllerRow g_stagingControllers[MAX_CONTROLLER_ROWS];
static DriveRow g_stagingDrives[MAX_DRIVE_ROWS];
static BatteryRow g_stagingBatteries[MAX_BATTERY_ROWS];
static ExtentRow g_stagingExtents[MAX_EXTENT_ROWS];
static LogicalDriveRow g_stagingLogicalDrives[MAX_LOGICAL_DRIVE_ROWS];
static EnclosureRow g_stagingEnclosures[MAX_ENCLOSURE_ROWS];

struct StagedCounts {
    int controllers;
    int drives;
    int batteries;
    int extents;
    int logicalDrives;
    int enclosures;
    BOOL esataNamingMet;
};

static void ReadDriverVersion(char* text, size_t textBytes)
{
    BYTE reply[I2_DRIVER_INFO_BYTES] = {};
    i2_getDriverInfo(ControllerAddress(0), 0, reply);
    FormatVersionWords(text, textBytes, reply, 0);
}

// The agent serves as many controllers as its controller table holds.
static int ReadControllerCount()
{
    uint32_t count = 0;
    i2_getNumberOfHBA(&count);
    return count < MAX_CONTROLLER_ROWS ? (int)count : MAX_CONTROLLER_ROWS;
}

static void CollectAll(StagedCounts* counts)
{
    counts->esataNamingMet = CollectControllers(counts->controllers, g_stagingControllers);
    CollectPhysicalDrives(counts->controllers, g_stagingDrives, &counts->drives);
    CollectBatteries(counts->controllers, g_stagingBatteries, &counts->batteries);
    CollectExtents(counts->controllers, g_stagingExtents, &counts->extents);
    CollectLogicalDrives(counts->controllers, g_stagingLogicalDrives, &counts->logicalDrives);
    CollectEnclosures(counts->controllers, g_stagingEnclosures, &counts->enclosures);
}

// Under the inventory lock: block copies only, no library call.
static void PublishStaged(const char* driverVersion, const StagedCounts* counts)
{
    memcpy(g_inventory.driverVersionText, driverVersion, INVENTORY_TEXT_BYTES);
    g_inventory.controllerCount = counts->controllers;
    memcpy(g_inventory.controllerModelText, g_stagingControllers[0].modelText, INVENTORY_TEXT_BYTES);
    memcpy(g_inventory.controllers, g_stagingControllers, sizeof(g_stagingControllers));
    memcpy(g_inventory.drives, g_stagingDrives, sizeof(g_stagingDrives));
    g_inventory.driveCount = counts->drives;
    memcpy(g_inventory.batteries, g_stagingBatteries, sizeof(g_stagingBatteries));
    g_inventory.batteryCount = counts->batteries;
    memcpy(g_inventory.extents, g_stagingExtents, sizeof(g_stagingExtents));
    g_inventory.extentCount = counts->extents;
    memcpy(g_inventory.logicalDrives, g_stagingLogicalDrives, sizeof(g_stagingLogicalDrives));
    g_inventory.logicalDriveCount = counts->logicalDrives;
    memcpy(g_inventory.enclosures, g_stagingEnclosures, sizeof(g_stagingEnclosures));
    g_inventory.enclosureCount = counts->enclosures;
    if (counts->esataNamingMet)
        ShowDriveNamesInDriveTable();
}

// Without controllers only the driver version, the count and the model
// text change; the other tables keep what they last showed.
static void PublishNoController(const char* driverVersion)
{
    memcpy(g_inventory.driverVersionText, driverVersion, INVENTORY_TEXT_BYTES);
    g_inventory.controllerCount = 0;
    g_inventory.controllerModelText[0] = '\0';
}

void RefreshInventory()
{
    if (!g_discovered && !AttemptDiscovery())
        return;
    char driverVersion[INVENTORY_TEXT_BYTES] = {};
    ReadDriverVersion(driverVersion, sizeof(driverVersion));
    StagedCounts counts = {};
    counts.controllers = ReadControllerCount();
    if (counts.controllers == 0) {
        EnterCriticalSection(&g_inventoryLock);
        PublishNoController(driverVersion);
        LeaveCriticalSection(&g_inventoryLock);
        return;
    }
    CollectAll(&counts);
    EnterCriticalSection(&g_inventoryLock);
    PublishStaged(driverVersion, &counts);
    LeaveCriticalSection(&g_inventoryLock);
}
