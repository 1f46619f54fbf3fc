#include "server_record.h"

#include <wchar.h>

void FillServerRecord(ServerRecord* record, const WCHAR* stateText, DWORD runFlag)
{
    ZeroMemory(record, sizeof(*record));
    wcsncpy(record->stateText, stateText, 63);
    record->runFlag = runFlag;
}
