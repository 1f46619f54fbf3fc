#include "fake_storage_library.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

FakeLibrary g_fakeLibrary;

static std::mutex g_eventsLock;
static std::deque<FakeEvent> g_waitingEvents[8];

void AddFakeEvent(int controllerIndex, DWORD code, const std::string& description)
{
    std::lock_guard<std::mutex> hold(g_eventsLock);
    g_waitingEvents[controllerIndex].push_back({code, description});
}

void ResetFakeLibrary()
{
    g_fakeLibrary = FakeLibrary();
}

void PutU8(Bytes& bytes, size_t offset, DWORD value)
{
    bytes.at(offset) = (BYTE)value;
}

void PutU16(Bytes& bytes, size_t offset, DWORD value)
{
    PutU8(bytes, offset, value & 0xFF);
    PutU8(bytes, offset + 1, (value >> 8) & 0xFF);
}

void PutU32(Bytes& bytes, size_t offset, DWORD value)
{
    PutU16(bytes, offset, value & 0xFFFF);
    PutU16(bytes, offset + 2, value >> 16);
}

void PutU64(Bytes& bytes, size_t offset, ULONGLONG value)
{
    PutU32(bytes, offset, (DWORD)value);
    PutU32(bytes, offset + 4, (DWORD)(value >> 32));
}

void PutText(Bytes& bytes, size_t offset, const std::string& text)
{
    std::copy(text.begin(), text.end(), bytes.begin() + offset);
    bytes.at(offset + text.size()) = 0;
}

static DWORD UsedEntries(const Bytes& list, size_t entryBytes)
{
    DWORD used = list[36] | list[37] << 8 | list[38] << 16 | (DWORD)list[39] << 24;
    return used < I2_REPLY_HEADER_BYTES ? 0 : (DWORD)((used - I2_REPLY_HEADER_BYTES) / entryBytes);
}

size_t FakeController::AddDrive(DWORD driveId)
{
    DWORD entries = UsedEntries(driveList, I2_PHYSICAL_DRIVE_RECORD_BYTES);
    size_t offset = I2_REPLY_HEADER_BYTES + entries * I2_PHYSICAL_DRIVE_RECORD_BYTES;
    PutU32(driveList, 36, (DWORD)(offset + I2_PHYSICAL_DRIVE_RECORD_BYTES));
    PutU16(driveList, offset + 4, driveId);
    PutU16(driveList, offset + 14, 255);
    return offset;
}

size_t FakeController::AddLogicalDrive(DWORD logicalDriveId)
{
    DWORD entries = UsedEntries(logicalDriveList, I2_LOGICAL_DRIVE_RECORD_BYTES);
    size_t offset = I2_REPLY_HEADER_BYTES + entries * I2_LOGICAL_DRIVE_RECORD_BYTES;
    PutU32(logicalDriveList, 36, (DWORD)(offset + I2_LOGICAL_DRIVE_RECORD_BYTES));
    PutU16(logicalDriveList, offset + 48, logicalDriveId);
    return offset;
}

size_t FakeController::AddExtent(size_t entryOffset, DWORD code, DWORD flags, DWORD ownerId, ULONGLONG start,
                                 ULONGLONG size)
{
    DWORD count = driveList[entryOffset + 151];
    size_t offset = entryOffset + 152 + count * 32;
    PutU8(driveList, entryOffset + 151, count + 1);
    PutU16(driveList, offset, code);
    PutU32(driveList, offset + 4, flags);
    PutU16(driveList, offset + 8, ownerId);
    PutU64(driveList, offset + 16, start);
    PutU64(driveList, offset + 24, size);
    return offset;
}

void FakeController::SetBattery(DWORD status, DWORD tenthsKelvin, DWORD millivolts)
{
    PutU8(battery, 110, status);
    PutU16(battery, 100, tenthsKelvin);
    PutU16(battery, 106, millivolts);
}

void FakeController::SetDevice(DWORD deviceWord, DWORD subsystemWord)
{
    PutU32(page0, 72, deviceWord);
    PutU32(page0, 76, subsystemWord);
}

static FakeController& Controller(I2Address address)
{
    return g_fakeLibrary.controllers.at(address.controllerIndex);
}

static DWORD RequestU32(const void* request, size_t offset)
{
    DWORD value;
    memcpy(&value, (const BYTE*)request + offset, sizeof(value));
    return value;
}

static DWORD RequestU16(const void* request, size_t offset)
{
    WORD value;
    memcpy(&value, (const BYTE*)request + offset, sizeof(value));
    return value;
}

// Writes the fixture into the reply, no more than either holds.
static void Serve(const Bytes& fixture, void* reply, uint32_t replySize)
{
    memcpy(reply, fixture.data(), std::min<size_t>(fixture.size(), replySize));
    g_fakeLibrary.otherCalls++;
}

static void ServeFrom(const std::map<DWORD, Bytes>& fixtures, DWORD key, void* reply, uint32_t replySize)
{
    auto found = fixtures.find(key);
    g_fakeLibrary.otherCalls++;
    if (found != fixtures.end())
        memcpy(reply, found->second.data(), std::min<size_t>(found->second.size(), replySize));
}

static void ServeProgress(int kind, I2Address address, const void* request, void* reply, uint32_t replySize)
{
    const FakeController& controller = Controller(address);
    g_fakeLibrary.progressRequests.push_back(Bytes((const BYTE*)request, (const BYTE*)request + 8));
    auto found = controller.progress.find({kind, RequestU32(request, 0)});
    g_fakeLibrary.otherCalls++;
    if (found != controller.progress.end())
        memcpy(reply, found->second.data(), std::min<size_t>(found->second.size(), replySize));
}

extern "C" {

int i2_initialize(void* initBlock)
{
    g_fakeLibrary.initializeCalls++;
    g_fakeLibrary.lastInitBlock = Bytes((BYTE*)initBlock, (BYTE*)initBlock + I2_INIT_BLOCK_BYTES);
    return 0;
}

int i2_discover(int one)
{
    g_fakeLibrary.discoverCalls++;
    return one == 1 ? g_fakeLibrary.discoverResult : -1;
}

int i2_finalize(void)
{
    g_fakeLibrary.finalizeCalls++;
    return 0;
}

int i2_getNumberOfHBA(uint32_t* count)
{
    g_fakeLibrary.otherCalls++;
    if (g_fakeLibrary.writeControllerCount)
        *count = g_fakeLibrary.controllerCount;
    return 0;
}

int i2_getDriverInfo(I2Address, uint32_t, void* reply)
{
    g_fakeLibrary.otherCalls++;
    memcpy(reply, g_fakeLibrary.driverVersion, sizeof(g_fakeLibrary.driverVersion));
    return 0;
}

int i2_getDiscoverPath(I2Address address, void* reply, uint32_t replySize)
{
    Serve(Controller(address).discoverPath, reply, replySize);
    return 0;
}

int i2_getBuzzerStatus(I2Address address, uint32_t, void* statusByte, uint32_t)
{
    g_fakeLibrary.otherCalls++;
    *(BYTE*)statusByte = Controller(address).buzzerStatus;
    return Controller(address).buzzerResult;
}

int i2_getControllerInfo(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    Serve(RequestU16(request, 8) == 2 ? Controller(address).page2 : Controller(address).page0, reply, replySize);
    return 0;
}

int i2_getControllerSettings(I2Address address, uint32_t, const void*, void* reply, uint32_t replySize)
{
    Serve(Controller(address).settings, reply, replySize);
    return 0;
}

int i2_getBatteryInfo(I2Address address, uint32_t, const void*, void* reply, uint32_t replySize)
{
    Serve(Controller(address).battery, reply, replySize);
    return 0;
}

// The list form and the one-enclosure form: header, then 16-byte entries
// whose byte 14 is the enclosure kind.
int i2_getEnclosureInfo(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    DWORD first = RequestU16(request, 0);
    DWORD count = RequestU16(request, 2);
    g_fakeLibrary.otherCalls++;
    for (DWORD k = 0; k < count && first + k < 128; k++) {
        size_t at = I2_REPLY_HEADER_BYTES + k * I2_ENCLOSURE_RECORD_BYTES + 14;
        if (at < replySize)
            ((BYTE*)reply)[at] = Controller(address).enclosureKinds[first + k];
    }
    return 0;
}

int i2_getEnclosureStatus(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeFrom(Controller(address).enclosureStatus, RequestU16(request, 0), reply, replySize);
    return 0;
}

int i2_getPhyDrvInfo(I2Address address, uint32_t, const void*, void* reply, uint32_t replySize)
{
    Serve(Controller(address).driveList, reply, replySize);
    return 0;
}

int i2_getPhyDrvSettings(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeFrom(Controller(address).driveSettings, RequestU32(request, 0), reply, replySize);
    return 0;
}

int i2_getHBAMediaPatrolProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeFrom(Controller(address).mediaPatrol, RequestU32(request, 0), reply, replySize);
    return 0;
}

int i2_getLogDrvInfo(I2Address address, uint32_t, const void*, void* reply, uint32_t replySize)
{
    Serve(Controller(address).logicalDriveList, reply, replySize);
    return 0;
}

int i2_getLogDrvSettings(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeFrom(Controller(address).logicalDriveSettings, RequestU32(request, 0), reply, replySize);
    return 0;
}

int i2_getRebuildProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeProgress(PROGRESS_REBUILD, address, request, reply, replySize);
    return 0;
}

int i2_getLogDrvSynchProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeProgress(PROGRESS_SYNCH, address, request, reply, replySize);
    return 0;
}

int i2_getRedundancyCheckProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeProgress(PROGRESS_REDUNDANCY, address, request, reply, replySize);
    return 0;
}

int i2_getLogDrvInitProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeProgress(PROGRESS_INIT, address, request, reply, replySize);
    return 0;
}

int i2_getMigrationProgress(I2Address address, uint32_t, const void* request, void* reply, uint32_t replySize)
{
    ServeProgress(PROGRESS_MIGRATION, address, request, reply, replySize);
    return 0;
}

int i2_getHBAEvents(I2Address address, uint32_t, void* request, void* reply, uint32_t)
{
    std::lock_guard<std::mutex> hold(g_eventsLock);
    std::deque<FakeEvent>& waiting = g_waitingEvents[address.controllerIndex % 8];
    DWORD delivered = 0;
    for (; delivered < 10 && !waiting.empty(); delivered++) {
        BYTE* record = (BYTE*)reply + I2_REPLY_HEADER_BYTES + delivered * 408;
        memcpy(record + 12, &waiting.front().code, 4);
        strcpy((char*)record + 84, waiting.front().description.c_str());
        waiting.pop_front();
    }
    DWORD usedLength = I2_REPLY_HEADER_BYTES + delivered * 408;
    memcpy((BYTE*)reply + I2_REPLY_USED_LENGTH_OFFSET, &usedLength, 4);
    memcpy((BYTE*)request + 4, &delivered, 4);
    return 0;
}

}
