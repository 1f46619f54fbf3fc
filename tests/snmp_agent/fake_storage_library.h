#pragma once
// A link seam for the storage library: the test program defines every i2_
// function itself and serves replies from byte fixtures set up by a test.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "storage_library.h"

using Bytes = std::vector<BYTE>;

void PutU8(Bytes& bytes, size_t offset, DWORD value);
void PutU16(Bytes& bytes, size_t offset, DWORD value);
void PutU32(Bytes& bytes, size_t offset, DWORD value);
void PutU64(Bytes& bytes, size_t offset, ULONGLONG value);
void PutText(Bytes& bytes, size_t offset, const std::string& text);

// The background-operation progress calls, by their request's first field.
enum ProgressKind { PROGRESS_REBUILD, PROGRESS_SYNCH, PROGRESS_REDUNDANCY, PROGRESS_INIT, PROGRESS_MIGRATION };

struct FakeController {
    Bytes discoverPath = Bytes(I2_DISCOVER_PATH_BYTES);
    int buzzerResult = 0;
    BYTE buzzerStatus = 0;
    Bytes page0 = Bytes(I2_CONTROLLER_INFO_BYTES);
    Bytes page2 = Bytes(I2_CONTROLLER_INFO_KIND2_BYTES);
    Bytes settings = Bytes(I2_CONTROLLER_SETTINGS_BYTES);
    Bytes battery = Bytes(I2_BATTERY_INFO_BYTES);
    BYTE enclosureKinds[128] = {};
    std::map<DWORD, Bytes> enclosureStatus;  // by enclosure index, 116 bytes
    Bytes driveList = Bytes(I2_PHYSICAL_DRIVE_LIST_BYTES);
    Bytes logicalDriveList = Bytes(I2_LOGICAL_DRIVE_LIST_BYTES);
    std::map<DWORD, Bytes> driveSettings;         // by drive id
    std::map<DWORD, Bytes> mediaPatrol;           // by drive id
    std::map<DWORD, Bytes> logicalDriveSettings;  // by logical drive id
    std::map<std::pair<int, DWORD>, Bytes> progress;  // by kind and logical drive id

    // Appends a drive entry to the list and returns its offset in driveList.
    size_t AddDrive(DWORD driveId);
    size_t AddLogicalDrive(DWORD logicalDriveId);
    // Adds an extent record to the drive entry at entryOffset.
    size_t AddExtent(size_t entryOffset, DWORD code, DWORD flags, DWORD ownerId, ULONGLONG start, ULONGLONG size);
    void SetBattery(DWORD status, DWORD tenthsKelvin, DWORD millivolts);
    void SetDevice(DWORD deviceWord, DWORD subsystemWord);
};

struct FakeEvent {
    DWORD code;
    std::string description;
};

struct FakeLibrary {
    int discoverResult = 0;
    uint32_t controllerCount = 0;
    BOOL writeControllerCount = TRUE;
    DWORD driverVersion[4] = {};
    std::vector<FakeController> controllers = std::vector<FakeController>(8);
    int initializeCalls = 0;
    int discoverCalls = 0;
    int finalizeCalls = 0;
    int otherCalls = 0;
    Bytes lastInitBlock;
    std::vector<Bytes> progressRequests;
};

// Events waiting on a controller; each event request takes up to ten.
// Safe to call while the agent's event poller runs.
void AddFakeEvent(int controllerIndex, DWORD code, const std::string& description);

extern FakeLibrary g_fakeLibrary;
void ResetFakeLibrary();
