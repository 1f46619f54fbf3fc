// The six tables. Each is walked column by column, each column from row 1
// to the table's row count; rows are read only from the published cache.
#include <stddef.h>
#include <stdint.h>

#include "../inventory/inventory_cache.h"
#include "mib_handlers.h"
#include "mib_support.h"

#define NO_FIELD SIZE_MAX

// Where a column's value lies in its row, for each form the column takes.
struct ColumnField {
    size_t integerOffset;
    size_t textOffset;
};

#define INTEGER_FIELD(row, field) {offsetof(row, field), NO_FIELD}
#define TEXT_FIELD(row, field) {NO_FIELD, offsetof(row, field)}

struct MibTableView {
    int firstColumnEntry;
    const ColumnField* columns;
    const BYTE* rows;
    size_t rowBytes;
    const int* rowCount;
};

static const ColumnField g_controllerColumns[] = {
    INTEGER_FIELD(ControllerRow, rowNumber),        INTEGER_FIELD(ControllerRow, controllerNumber),
    TEXT_FIELD(ControllerRow, modelText),           INTEGER_FIELD(ControllerRow, pathWord1),
    INTEGER_FIELD(ControllerRow, pathWord2),        INTEGER_FIELD(ControllerRow, pathWord3),
    INTEGER_FIELD(ControllerRow, pathWord4),        INTEGER_FIELD(ControllerRow, infoFlag329),
    INTEGER_FIELD(ControllerRow, infoWord332),      INTEGER_FIELD(ControllerRow, infoHalfWord348),
    INTEGER_FIELD(ControllerRow, infoHalfWord338),  INTEGER_FIELD(ControllerRow, enclosureCount),
    INTEGER_FIELD(ControllerRow, infoByte316),      INTEGER_FIELD(ControllerRow, infoByte317),
    INTEGER_FIELD(ControllerRow, infoByte321),      INTEGER_FIELD(ControllerRow, infoByte318),
    INTEGER_FIELD(ControllerRow, infoByte320),      INTEGER_FIELD(ControllerRow, batteryState),
    INTEGER_FIELD(ControllerRow, infoFlag324),      INTEGER_FIELD(ControllerRow, infoFlag322),
    INTEGER_FIELD(ControllerRow, infoByte325),      TEXT_FIELD(ControllerRow, versionText1),
    INTEGER_FIELD(ControllerRow, infoProduct),      INTEGER_FIELD(ControllerRow, infoByte378),
    INTEGER_FIELD(ControllerRow, settingsByte82),   INTEGER_FIELD(ControllerRow, buzzerState),
    TEXT_FIELD(ControllerRow, versionText2),
};

static const ColumnField g_driveColumns[] = {
    INTEGER_FIELD(DriveRow, rowNumber),
    {offsetof(DriveRow, driveNumber), offsetof(DriveRow, driveName)},
    INTEGER_FIELD(DriveRow, controllerNumber),      INTEGER_FIELD(DriveRow, driveHalfWord10),
    INTEGER_FIELD(DriveRow, fixedMinusOne5),        TEXT_FIELD(DriveRow, driveText64),
    TEXT_FIELD(DriveRow, driveText110),             TEXT_FIELD(DriveRow, capacityText),
    INTEGER_FIELD(DriveRow, driveWord52),           INTEGER_FIELD(DriveRow, driveHalfWord56),
    INTEGER_FIELD(DriveRow, driveHalfWord58),       INTEGER_FIELD(DriveRow, driveByte148),
    INTEGER_FIELD(DriveRow, fixedMinusOne13),       INTEGER_FIELD(DriveRow, fixedOne14),
    INTEGER_FIELD(DriveRow, extentFlagSummary),     INTEGER_FIELD(DriveRow, driveCondition),
    INTEGER_FIELD(DriveRow, mediaPatrolState),      INTEGER_FIELD(DriveRow, mediaPatrolHalfWord92),
    INTEGER_FIELD(DriveRow, mediaPatrolHalfWord88), INTEGER_FIELD(DriveRow, mediaPatrolHalfWord90),
    INTEGER_FIELD(DriveRow, slotNumber),            INTEGER_FIELD(DriveRow, enclosureKind),
    INTEGER_FIELD(DriveRow, extentCount),           INTEGER_FIELD(DriveRow, driveFlag21),
    TEXT_FIELD(DriveRow, ownerListText),            INTEGER_FIELD(DriveRow, settingB),
    INTEGER_FIELD(DriveRow, settingA),
};

static const ColumnField g_batteryColumns[] = {
    INTEGER_FIELD(BatteryRow, rowNumber),    INTEGER_FIELD(BatteryRow, controllerNumber),
    INTEGER_FIELD(BatteryRow, batteryState), TEXT_FIELD(BatteryRow, temperatureText),
    TEXT_FIELD(BatteryRow, voltageText),
};

static const ColumnField g_extentColumns[] = {
    INTEGER_FIELD(ExtentRow, rowNumber),      INTEGER_FIELD(ExtentRow, controllerNumber),
    INTEGER_FIELD(ExtentRow, driveNumber),    INTEGER_FIELD(ExtentRow, extentCode),
    TEXT_FIELD(ExtentRow, sizeText1),         TEXT_FIELD(ExtentRow, sizeText2),
    TEXT_FIELD(ExtentRow, startText),         INTEGER_FIELD(ExtentRow, extentStateA),
    INTEGER_FIELD(ExtentRow, extentStateB),   INTEGER_FIELD(ExtentRow, extentStateC),
    INTEGER_FIELD(ExtentRow, driveCondition), INTEGER_FIELD(ExtentRow, ownerNumber),
};

static const ColumnField g_logicalDriveColumns[] = {
    INTEGER_FIELD(LogicalDriveRow, rowNumber),         INTEGER_FIELD(LogicalDriveRow, controllerNumber),
    INTEGER_FIELD(LogicalDriveRow, logicalDriveNumber), TEXT_FIELD(LogicalDriveRow, name),
    TEXT_FIELD(LogicalDriveRow, capacityText1),        TEXT_FIELD(LogicalDriveRow, capacityText2),
    INTEGER_FIELD(LogicalDriveRow, word44),            INTEGER_FIELD(LogicalDriveRow, levelCode),
    TEXT_FIELD(LogicalDriveRow, cachePolicyText),      INTEGER_FIELD(LogicalDriveRow, halfWord38),
    INTEGER_FIELD(LogicalDriveRow, activityCode),      INTEGER_FIELD(LogicalDriveRow, stateCode),
    INTEGER_FIELD(LogicalDriveRow, progressPercent),   INTEGER_FIELD(LogicalDriveRow, settingsFlag112),
    INTEGER_FIELD(LogicalDriveRow, settingsHalfWord113), INTEGER_FIELD(LogicalDriveRow, byte168),
    INTEGER_FIELD(LogicalDriveRow, byte169),           INTEGER_FIELD(LogicalDriveRow, signedHalfWord170),
    INTEGER_FIELD(LogicalDriveRow, byte172),
};

static const ColumnField g_enclosureColumns[] = {
    INTEGER_FIELD(EnclosureRow, rowNumber),      INTEGER_FIELD(EnclosureRow, controllerIndex),
    INTEGER_FIELD(EnclosureRow, enclosureIndex), INTEGER_FIELD(EnclosureRow, enclosureKind),
    TEXT_FIELD(EnclosureRow, voltageText1),      TEXT_FIELD(EnclosureRow, voltageText2),
    TEXT_FIELD(EnclosureRow, temperatureText1),  TEXT_FIELD(EnclosureRow, temperatureText2),
    INTEGER_FIELD(EnclosureRow, sensorReading1), INTEGER_FIELD(EnclosureRow, sensorReading2),
};

static const MibTableView g_controllerTable = {6, g_controllerColumns, (const BYTE*)g_inventory.controllers,
                                               sizeof(ControllerRow), &g_inventory.controllerCount};
static const MibTableView g_driveTable = {35, g_driveColumns, (const BYTE*)g_inventory.drives, sizeof(DriveRow),
                                          &g_inventory.driveCount};
static const MibTableView g_batteryTable = {64, g_batteryColumns, (const BYTE*)g_inventory.batteries,
                                            sizeof(BatteryRow), &g_inventory.batteryCount};
static const MibTableView g_extentTable = {71, g_extentColumns, (const BYTE*)g_inventory.extents, sizeof(ExtentRow),
                                           &g_inventory.extentCount};
static const MibTableView g_logicalDriveTable = {85, g_logicalDriveColumns, (const BYTE*)g_inventory.logicalDrives,
                                                 sizeof(LogicalDriveRow), &g_inventory.logicalDriveCount};
static const MibTableView g_enclosureTable = {106, g_enclosureColumns, (const BYTE*)g_inventory.enclosures,
                                              sizeof(EnclosureRow), &g_inventory.enclosureCount};

// Row r (1 to the row count) of the entry's column, in the entry's type as
// the registry holds it now.
static AsnInteger32 AnswerRow(const MibTableView* table, const MibEntry* entry, SnmpVarBind* binding, UINT row)
{
    const BYTE* fields = table->rows + (row - 1) * table->rowBytes;
    const ColumnField* column = &table->columns[entry->number - table->firstColumnEntry];
    if (entry->asnType == ASN_OCTETSTRING) {
        AsnInteger32 status = SetTextValue(&binding->value, (const char*)(fields + column->textOffset));
        if (status != SNMP_ERRORSTATUS_NOERROR)
            return status;
    } else {
        binding->value.asnValue.number = *(const int*)(fields + column->integerOffset);
    }
    binding->value.asnType = entry->asnType;
    return SNMP_ERRORSTATUS_NOERROR;
}

// Only column.r with r from 1 to the row count names a value; table and
// row nodes hold none.
static AsnInteger32 GetColumnInstance(const MibTableView* table, const MibEntry* entry, SnmpVarBind* binding)
{
    ClearValue(&binding->value);
    if (!IsColumnEntry(entry->number) || !NameIsOneArcBelowEntry(&binding->name, entry))
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    UINT row = ArcBelowEntry(&binding->name, entry);
    if (*table->rowCount < 1 || row < 1 || row > (UINT)*table->rowCount)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    return AnswerRow(table, entry, binding, row);
}

// The first row of the entry's column that sorts after the binding's name;
// noSuchName, with the binding untouched, when the column has none.
static AsnInteger32 GetNextColumnInstance(const MibTableView* table, const MibEntry* entry, SnmpVarBind* binding)
{
    if (!IsColumnEntry(entry->number))
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    ULONGLONG row;
    switch (PlaceNameAgainstEntry(&binding->name, entry)) {
    case NAME_BEFORE_ENTRY:
    case NAME_IS_ENTRY:
        row = 1;
        break;
    case NAME_BELOW_ENTRY:
        row = (ULONGLONG)ArcBelowEntry(&binding->name, entry) + 1;
        break;
    default:
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    }
    if (*table->rowCount < 1 || row > (ULONGLONG)*table->rowCount)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    AsnInteger32 status = SetBindingNameToEntry(binding, entry, TRUE, (UINT)row);
    if (status != SNMP_ERRORSTATUS_NOERROR)
        return status;
    ClearValue(&binding->value);
    return AnswerRow(table, entry, binding, (UINT)row);
}

static AsnInteger32 HandleTableRequest(const MibTableView* table, BYTE requestType, MibEntry* entry,
                                       SnmpVarBind* binding)
{
    switch (requestType) {
    case SNMP_PDU_GET:
        return GetColumnInstance(table, entry, binding);
    case SNMP_PDU_GETNEXT:
        return GetNextColumnInstance(table, entry, binding);
    case SNMP_PDU_SET:
        // Every entry is read-only.
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    default:
        return SNMP_ERRORSTATUS_GENERR;
    }
}

AsnInteger32 HandleControllerTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_controllerTable, requestType, entry, binding);
}

AsnInteger32 HandleDriveTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_driveTable, requestType, entry, binding);
}

AsnInteger32 HandleBatteryTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_batteryTable, requestType, entry, binding);
}

AsnInteger32 HandleExtentTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_extentTable, requestType, entry, binding);
}

AsnInteger32 HandleLogicalDriveTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_logicalDriveTable, requestType, entry, binding);
}

AsnInteger32 HandleEnclosureTable(BYTE requestType, MibEntry* entry, SnmpVarBind* binding)
{
    return HandleTableRequest(&g_enclosureTable, requestType, entry, binding);
}
