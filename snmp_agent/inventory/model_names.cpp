// The controller models this agent knows by name. Five models are sold in
// two variants told apart by the subsystem id: the listed subsystem ids
// choose the first name, any other the second.
#include <stdio.h>
#include <string.h>

#include "collectors.h"

struct ModelName {
    WORD deviceId;
    BOOL bySubsystem;
    WORD subsystemId;
    WORD otherSubsystemId;  // a second id choosing the first name, or 0
    const char* firstName;
    const char* secondName;
};

static const ModelName g_modelNames[] = {
    {0x3300, FALSE, 0, 0, "Vantrel KX2300 SATA HBA", NULL},
    {0x3301, FALSE, 0, 0, "Vantrel KX2300 SATA HBA", NULL},
    {0x3310, FALSE, 0, 0, "Vantrel KX2310 SATA HBA", NULL},
    {0x3318, FALSE, 0, 0, "Vantrel KX2318 SATA HBA", NULL},
    {0x3319, TRUE, 0x3319, 0, "Vantrel KX4319 SATA RAID", "Vantrel KX2319 SATA RAID"},
    {0x3320, FALSE, 0, 0, "Vantrel KX4320 SATA RAID", NULL},
    {0x3371, TRUE, 0x3371, 0x3372, "Vantrel KX4371 SATA RAID", "Vantrel KX2371 SATA RAID"},
    {0x3373, FALSE, 0, 0, "Vantrel KX4373 SATA RAID", NULL},
    {0x3375, TRUE, 0x3375, 0, "Vantrel KX4375 SATA RAID", "Vantrel KX2375 SATA RAID"},
    {0x3376, FALSE, 0, 0, "Vantrel KX4376 SATA RAID", NULL},
    {0x3515, TRUE, 0x3515, 0, "Vantrel KX6515 SAS RAID", "Vantrel KX4515 SAS RAID"},
    {0x3519, FALSE, 0, 0, "Vantrel KX6519 SAS RAID", NULL},
    {0x3570, FALSE, 0, 0, "Vantrel KX6570 SAS RAID", NULL},
    {0x3571, TRUE, 0x3571, 0, "Vantrel KX8571 SAS RAID", "Vantrel KX6571 SAS RAID"},
    {0x3574, FALSE, 0, 0, "Vantrel KX8574 SAS RAID", NULL},
    {0x8350, FALSE, 0, 0, "Vantrel KX8350 SAS RAID", NULL},
};

// The controller kind whose first four drive ports are named Disk 1, Disk 2,
// eSATA 2 and eSATA 1 on its panel.
static const WORD g_esataNamingDeviceId = 0x3F20;
static const WORD g_esataNamingSubsystemId = 0x1010;

static const char* ChooseModelName(const ModelName* model, WORD subsystemId)
{
    if (!model->bySubsystem)
        return model->firstName;
    if (subsystemId == model->subsystemId || (model->otherSubsystemId != 0 && subsystemId == model->otherSubsystemId))
        return model->firstName;
    return model->secondName;
}

void LookUpModelName(DWORD deviceWord, DWORD subsystemWord, char* text, size_t textBytes)
{
    WORD deviceId = (WORD)(deviceWord & 0xFFFF);
    for (size_t i = 0; i < sizeof(g_modelNames) / sizeof(g_modelNames[0]); i++) {
        if (g_modelNames[i].deviceId == deviceId) {
            snprintf(text, textBytes, "%s", ChooseModelName(&g_modelNames[i], (WORD)(subsystemWord & 0xFFFF)));
            return;
        }
    }
    snprintf(text, textBytes, "Vantrel HBA (ID=0x%x)", (unsigned)deviceWord);
}

BOOL IsEsataNamingController(DWORD deviceWord, DWORD subsystemWord)
{
    return (deviceWord & 0xFFFF) == g_esataNamingDeviceId && (subsystemWord & 0xFFFF) == g_esataNamingSubsystemId;
}
