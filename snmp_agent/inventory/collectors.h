#pragma once
// The six collectors of the inventory refresh. Each asks the storage library
// about controllers 0 to controllerCount - 1 and fills its staging table
// from the first row on, never past the table's capacity.
#include "inventory_cache.h"

// Returns TRUE when the eSATA-naming controller was among them.
BOOL CollectControllers(int controllerCount, ControllerRow* rows);
void CollectPhysicalDrives(int controllerCount, DriveRow* rows, int* rowCount);
void CollectBatteries(int controllerCount, BatteryRow* rows, int* rowCount);
void CollectExtents(int controllerCount, ExtentRow* rows, int* rowCount);
void CollectLogicalDrives(int controllerCount, LogicalDriveRow* rows, int* rowCount);
void CollectEnclosures(int controllerCount, EnclosureRow* rows, int* rowCount);

// Fetches shared by several collectors. The battery status is byte 110 of
// the battery reply; the enclosure kind is that of the one-enclosure form.
DWORD FetchBatteryStatus(int controllerIndex, BYTE* reply);
DWORD FetchEnclosureKind(int controllerIndex, DWORD enclosureIndex);

// Model name of a controller from its device and subsystem ids; the whole
// 32-bit device word names an unknown controller.
void LookUpModelName(DWORD deviceWord, DWORD subsystemWord, char* text, size_t textBytes);
BOOL IsEsataNamingController(DWORD deviceWord, DWORD subsystemWord);
