#pragma once
#include <windows.h>

// The server status record the management server reads to know whether it
// is to keep running.
#define SERVER_SECTION_NAME L"Global\\ArvexaFileMappingObject"
#define SERVER_MUTEX_NAME L"Global\\Arvexa"
#define SERVER_SECTION_BYTES 256
#define SERVER_STATE_RUNNING L"Running"
#define SERVER_STATE_STOP L"Stop"

struct ServerRecord {
    WCHAR stateText[64];
    DWORD runFlag;
};
static_assert(sizeof(ServerRecord) == 132, "the record is 132 bytes, always written whole");

// A zeroed record holding the state text and the run flag.
void FillServerRecord(ServerRecord* record, const WCHAR* stateText, DWORD runFlag);
