// Storage library simulator: the i2_ functions of the maker's library,
// serving the machine that the scenario file named by KALVBRIDGE_SCENARIO
// describes, or the embedded default machine when none is named. Every call
// looks at the file again, so a test may change the hardware or add events
// while the agent runs in another process.
//
// Calls return 0 on success. Until a session has discovered (i2_initialize
// with a proper block, then i2_discover) every query fails; i2_finalize ends
// the session. A call that fails writes nothing.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scenario.h"
#include "storage_library.h"

enum {
    RESULT_OK = 0,
    RESULT_FAILED = 1,       // a failing-call switch, or a failed discovery
    RESULT_NOT_READY = 2,    // no initialisation or discovery yet
    RESULT_BAD_ARGUMENT = 3, // address, zero argument, request or reply size
    RESULT_NO_DEVICE = 4,    // no such controller, enclosure, drive or operation
    RESULT_NO_SCENARIO = 5,  // the scenario cannot be read or is invalid
    RESULT_FAULT = -1        // logged for an event call that faulted
};

static const int NO_CONTROLLER = -1;

static_assert(sizeof(I2Address) == 8, "the address record travels as 8 bytes by value");

static const WCHAR SCENARIO_VARIABLE[] = L"KALVBRIDGE_SCENARIO";
static const WCHAR CALL_LOG_VARIABLE[] = L"KALVBRIDGE_CALL_LOG";
static const DWORD MAX_SCENARIO_BYTES = 16 * 1024 * 1024;
static const uint32_t INIT_SIGNATURE = 0xBABA0001;
static const uint32_t INIT_INTERVAL = 60;

static CRITICAL_SECTION libraryLock;

// The scenario being served.
static SimMachine machine;
static bool machineUsable;
static bool scenarioSeen;
static std::wstring scenarioPath; // empty: the embedded default
static std::string scenarioText;  // the text last read, usable or not

// The session, from its first initialisation to i2_finalize. What was
// delivered is kept by controller and event position, across reloads.
static bool sessionInitialized;
static bool sessionDiscovered;
static uint32_t discoveryAttempts;
static DWORD sessionStart;
static std::vector<std::vector<bool>> deliveredEvents;
static std::vector<uint32_t> eventFaultsDone;

static uint16_t Read16(const void* record, size_t offset)
{
    uint16_t value;
    memcpy(&value, (const uint8_t*)record + offset, sizeof(value));
    return value;
}

static uint32_t Read32(const void* record, size_t offset)
{
    uint32_t value;
    memcpy(&value, (const uint8_t*)record + offset, sizeof(value));
    return value;
}

static void Write32(void* record, size_t offset, uint32_t value)
{
    memcpy((uint8_t*)record + offset, &value, sizeof(value));
}

static void ReportScenarioProblem(const std::wstring& path, const std::string& problem)
{
    std::wstring message = L"kalvbridge: scenario " + (path.empty() ? L"(embedded)" : path) + L": ";
    message.append(problem.begin(), problem.end());
    message += L"\n";
    OutputDebugStringW(message.c_str());
}

// Shared for writing and renaming, so a test can replace the file at any time.
static bool ReadScenarioFile(const std::wstring& path, std::string* text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, NULL);
    bool read = size != INVALID_FILE_SIZE && size <= MAX_SCENARIO_BYTES;
    if (read) {
        text->resize(size);
        DWORD got = 0;
        read = size == 0 || (ReadFile(file, &(*text)[0], size, &got, NULL) && got == size);
    }
    CloseHandle(file);
    return read;
}

static std::wstring NamedScenarioPath(void)
{
    WCHAR path[MAX_PATH * 4];
    DWORD length = GetEnvironmentVariableW(SCENARIO_VARIABLE, path, ARRAYSIZE(path));
    return length > 0 && length < ARRAYSIZE(path) ? std::wstring(path, length) : std::wstring();
}

// Serves the scenario as it now stands. A file that cannot be read or does
// not parse (for instance while it is being rewritten) leaves the last good
// machine of the same file in service.
static void RefreshScenario(void)
{
    std::wstring path = NamedScenarioPath();
    bool sameSource = scenarioSeen && path == scenarioPath;
    if (sameSource && path.empty())
        return;
    std::string text;
    bool readable = path.empty() ? (text = DEFAULT_SCENARIO, true) : ReadScenarioFile(path, &text);
    if (sameSource && (!readable || text == scenarioText))
        return;
    scenarioSeen = true;
    scenarioPath = path;
    scenarioText = readable ? text : std::string();
    SimMachine built;
    std::string problem = "cannot be read";
    if (readable && BuildMachine(text, &built, &problem)) {
        machine = std::move(built);
        machineUsable = true;
        return;
    }
    ReportScenarioProblem(path, problem);
    if (!sameSource) {
        machine = SimMachine();
        machineUsable = false;
    }
}

static void RefreshScenarioSafely(void)
{
    try {
        RefreshScenario();
    } catch (...) {
        ReportScenarioProblem(scenarioPath, "out of memory");
    }
}

static void EndSession(void)
{
    sessionInitialized = false;
    sessionDiscovered = false;
    discoveryAttempts = 0;
    deliveredEvents.clear();
    eventFaultsDone.clear();
}

// What every query shares: a usable scenario, a discovered session, and no
// failing-call switch for this function on the whole machine.
static int CheckQuery(LibraryCall call)
{
    RefreshScenarioSafely();
    if (!machineUsable)
        return RESULT_NO_SCENARIO;
    if (!sessionDiscovered)
        return RESULT_NOT_READY;
    return machine.failingCalls[call] ? RESULT_FAILED : RESULT_OK;
}

static bool AddressIsClean(const I2Address& address)
{
    for (size_t i = 0; i < sizeof(address.reserved); i++)
        if (address.reserved[i] != 0)
            return false;
    return true;
}

// A query about one controller; on success *controller is the one addressed.
static int CheckControllerQuery(LibraryCall call, const I2Address& address, uint32_t zero,
                                const SimController** controller)
{
    int result = CheckQuery(call);
    if (result != RESULT_OK)
        return result;
    if (!AddressIsClean(address) || zero != 0)
        return RESULT_BAD_ARGUMENT;
    if (address.controllerIndex >= machine.controllers.size())
        return RESULT_NO_DEVICE;
    *controller = &machine.controllers[address.controllerIndex];
    return (*controller)->failingCalls[call] ? RESULT_FAILED : RESULT_OK;
}

static int CopyReply(const ReplyImage& image, void* reply, uint32_t replySize)
{
    if (reply == NULL || replySize < image.size())
        return RESULT_BAD_ARGUMENT;
    memcpy(reply, image.data(), image.size());
    return RESULT_OK;
}

static void WriteListHeader(void* reply, uint32_t usedLength)
{
    memset(reply, machine.filler, REPLY_HEADER_BYTES);
    Write32(reply, USED_LENGTH_OFFSET, usedLength);
}

// List replies take as many whole entries as the caller asked for and the
// reply holds.
static uint32_t EntriesThatFit(uint32_t replySize, size_t entryBytes, uint32_t asked)
{
    return std::min<uint32_t>(asked, (replySize - REPLY_HEADER_BYTES) / (uint32_t)entryBytes);
}

template <typename Item> static const Item* FindById(const std::vector<Item>& items, uint32_t id)
{
    for (const Item& item : items)
        if (item.id == id)
            return &item;
    return NULL;
}

static bool InitBlockIsProper(const void* block)
{
    const uint8_t* bytes = (const uint8_t*)block;
    for (size_t i = 0; i < I2_INIT_BLOCK_BYTES; i++)
        if ((i < 8 || i > 19) && bytes[i] != 0)
            return false;
    return Read32(block, 8) == INIT_SIGNATURE && Read32(block, 12) == 1 &&
           Read32(block, 16) == INIT_INTERVAL;
}

static int ServeInitialize(void* initBlock)
{
    RefreshScenarioSafely();
    if (!machineUsable)
        return RESULT_NO_SCENARIO;
    if (machine.failingCalls[CALL_INITIALIZE])
        return RESULT_FAILED;
    if (initBlock == NULL || !InitBlockIsProper(initBlock))
        return RESULT_BAD_ARGUMENT;
    if (!sessionInitialized) {
        sessionInitialized = true;
        sessionStart = GetTickCount();
    }
    return RESULT_OK;
}

static int ServeDiscover(int one)
{
    RefreshScenarioSafely();
    if (!machineUsable)
        return RESULT_NO_SCENARIO;
    if (!sessionInitialized)
        return RESULT_NOT_READY;
    if (one != 1)
        return RESULT_BAD_ARGUMENT;
    discoveryAttempts++;
    if (machine.failingCalls[CALL_DISCOVER] || discoveryAttempts <= machine.discoveryFailures)
        return RESULT_FAILED;
    sessionDiscovered = true;
    return RESULT_OK;
}

static int ServeFinalize(void)
{
    RefreshScenarioSafely();
    if (machineUsable && machine.failingCalls[CALL_FINALIZE])
        return RESULT_FAILED;
    EndSession();
    return RESULT_OK;
}

static int ServeNumberOfHba(uint32_t* count)
{
    int result = CheckQuery(CALL_NUMBER_OF_HBA);
    if (result != RESULT_OK)
        return result;
    if (count == NULL)
        return RESULT_BAD_ARGUMENT;
    *count = (uint32_t)machine.controllers.size();
    return RESULT_OK;
}

// The driver serves the whole machine; it answers also without controllers.
static int ServeDriverInfo(const I2Address& address, uint32_t zero, void* reply)
{
    int result = CheckQuery(CALL_DRIVER_INFO);
    if (result != RESULT_OK)
        return result;
    if (!AddressIsClean(address) || zero != 0)
        return RESULT_BAD_ARGUMENT;
    return CopyReply(machine.driverInfo, reply, DRIVER_INFO_BYTES);
}

static int ServeDiscoverPath(const I2Address& address, void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_DISCOVER_PATH, address, 0, &controller);
    return result != RESULT_OK ? result : CopyReply(controller->discoverPath, reply, replySize);
}

static int ServeBuzzerStatus(const I2Address& address, uint32_t zero, void* statusByte,
                             uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_BUZZER_STATUS, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    return CopyReply(ReplyImage(1, controller->buzzerStatus), statusByte, replySize);
}

// Request: n controller index, n 1, w page.
static int ServeControllerInfo(const I2Address& address, uint32_t zero, const void* request,
                               void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_CONTROLLER_INFO, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read32(request, 0) != address.controllerIndex || Read32(request, 4) != 1)
        return RESULT_BAD_ARGUMENT;
    uint16_t page = Read16(request, 8);
    if (page == 0)
        return CopyReply(controller->info0, reply, replySize);
    if (page == 2)
        return CopyReply(controller->info2, reply, replySize);
    return RESULT_BAD_ARGUMENT;
}

// Request: n controller index, n 1, w 0.
static int ServeControllerSettings(const I2Address& address, uint32_t zero, const void* request,
                                   void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_CONTROLLER_SETTINGS, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read32(request, 0) != address.controllerIndex ||
        Read32(request, 4) != 1 || Read16(request, 8) != 0)
        return RESULT_BAD_ARGUMENT;
    return CopyReply(controller->settings, reply, replySize);
}

// Request: w 0, w 0. A controller without a battery reports status 0.
static int ServeBatteryInfo(const I2Address& address, uint32_t zero, const void* request,
                            void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_BATTERY_INFO, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read16(request, 0) != 0 || Read16(request, 2) != 0)
        return RESULT_BAD_ARGUMENT;
    return CopyReply(controller->battery, reply, replySize);
}

// Request: w first enclosure, w count. An index without an enclosure gets
// an all-zero entry, so its kind byte reads 0 whatever the reply held.
static int ServeEnclosureInfo(const I2Address& address, uint32_t zero, const void* request,
                              void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_ENCLOSURE_INFO, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || reply == NULL)
        return RESULT_BAD_ARGUMENT;
    uint32_t first = Read16(request, 0);
    uint32_t count = Read16(request, 2);
    uint32_t usedLength = REPLY_HEADER_BYTES + count * ENCLOSURE_ENTRY_BYTES;
    if (count == 0 || replySize < usedLength)
        return RESULT_BAD_ARGUMENT;
    WriteListHeader(reply, usedLength);
    uint8_t* entries = (uint8_t*)reply + REPLY_HEADER_BYTES;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t* entry = entries + i * ENCLOSURE_ENTRY_BYTES;
        if (first + i < controller->enclosures.size() && controller->enclosures[first + i].present)
            memcpy(entry, controller->enclosures[first + i].entry.data(), ENCLOSURE_ENTRY_BYTES);
        else
            memset(entry, 0, ENCLOSURE_ENTRY_BYTES);
    }
    return RESULT_OK;
}

// Request: w enclosure, w 1.
static int ServeEnclosureStatus(const I2Address& address, uint32_t zero, const void* request,
                                void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_ENCLOSURE_STATUS, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read16(request, 2) != 1)
        return RESULT_BAD_ARGUMENT;
    uint32_t index = Read16(request, 0);
    if (index >= controller->enclosures.size() || !controller->enclosures[index].present)
        return RESULT_NO_DEVICE;
    return CopyReply(controller->enclosures[index].status, reply, replySize);
}

// Writes entries first to first + asked - 1 of a list, as far as the reply
// holds them, with the true used length unless the scenario reports another.
template <typename Item>
static int WriteList(const std::vector<Item>& items, size_t entryBytes, uint32_t first,
                     uint32_t asked, bool overridesLength, uint32_t reportedLength, void* reply,
                     uint32_t replySize)
{
    if (reply == NULL || replySize < REPLY_HEADER_BYTES)
        return RESULT_BAD_ARGUMENT;
    uint32_t available = first < items.size() ? (uint32_t)items.size() - first : 0;
    uint32_t written = EntriesThatFit(replySize, entryBytes, std::min(asked, available));
    WriteListHeader(reply, overridesLength ? reportedLength
                                           : REPLY_HEADER_BYTES + written * (uint32_t)entryBytes);
    uint8_t* entries = (uint8_t*)reply + REPLY_HEADER_BYTES;
    for (uint32_t i = 0; i < written; i++)
        memcpy(entries + i * entryBytes, items[first + i].entry.data(), entryBytes);
    return RESULT_OK;
}

// Request: n first drive, n count, w 255.
static int ServePhysicalDrives(const I2Address& address, uint32_t zero, const void* request,
                               void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_PHY_DRV_INFO, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read16(request, 8) != 255)
        return RESULT_BAD_ARGUMENT;
    return WriteList(controller->drives, DRIVE_ENTRY_BYTES, Read32(request, 0), Read32(request, 4),
                     controller->overridesDriveListLength, controller->driveListLength, reply,
                     replySize);
}

// Request: n drive id, then second (32-bit) and, when given, third (16-bit).
static int ServeDriveReply(LibraryCall call, const I2Address& address, uint32_t zero,
                           const void* request, uint32_t second, int third, void* reply,
                           uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(call, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read32(request, 4) != second ||
        (third >= 0 && Read16(request, 8) != third))
        return RESULT_BAD_ARGUMENT;
    const SimDrive* drive = FindById(controller->drives, Read32(request, 0));
    if (drive == NULL)
        return RESULT_NO_DEVICE;
    return CopyReply(call == CALL_PHY_DRV_SETTINGS ? drive->settings : drive->mediaPatrol, reply,
                     replySize);
}

// Request: n first array, n count.
static int ServeLogicalDrives(const I2Address& address, uint32_t zero, const void* request,
                              void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_LOG_DRV_INFO, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL)
        return RESULT_BAD_ARGUMENT;
    return WriteList(controller->logicalDrives, LOGICAL_DRIVE_ENTRY_BYTES, Read32(request, 0),
                     Read32(request, 4), controller->overridesLogicalDriveListLength,
                     controller->logicalDriveListLength, reply, replySize);
}

// Request: n array, n 1.
static int ServeLogicalDriveSettings(const I2Address& address, uint32_t zero, const void* request,
                                     void* reply, uint32_t replySize)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_LOG_DRV_SETTINGS, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || Read32(request, 4) != 1)
        return RESULT_BAD_ARGUMENT;
    const SimLogicalDrive* logicalDrive = FindById(controller->logicalDrives, Read32(request, 0));
    if (logicalDrive == NULL)
        return RESULT_NO_DEVICE;
    return CopyReply(logicalDrive->settings, reply, replySize);
}

// What each progress call's request holds after the array id: a second
// 32-bit value, or nothing (-1).
struct ProgressCall {
    LibraryCall call;
    int64_t second;
};

static const ProgressCall PROGRESS_CALLS[PROGRESS_KINDS] = {{CALL_REBUILD_PROGRESS, 0},
                                                            {CALL_SYNCH_PROGRESS, -1},
                                                            {CALL_REDUNDANCY_CHECK_PROGRESS, -1},
                                                            {CALL_INIT_PROGRESS, -1},
                                                            {CALL_MIGRATION_PROGRESS, 1}};

// An array that is not running the operation has no progress to report.
static int ServeProgress(ProgressKind kind, const I2Address& address, uint32_t zero,
                         const void* request, void* reply, uint32_t replySize)
{
    const ProgressCall& progressCall = PROGRESS_CALLS[kind];
    const SimController* controller = NULL;
    int result = CheckControllerQuery(progressCall.call, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || (progressCall.second >= 0 && Read32(request, 4) != progressCall.second))
        return RESULT_BAD_ARGUMENT;
    const SimLogicalDrive* logicalDrive = FindById(controller->logicalDrives, Read32(request, 0));
    if (logicalDrive == NULL || !logicalDrive->hasProgress[kind])
        return RESULT_NO_DEVICE;
    return CopyReply(logicalDrive->progress[kind], reply, replySize);
}

static void EnsureEventState(size_t controllerIndex, size_t eventCount)
{
    if (deliveredEvents.size() <= controllerIndex) {
        deliveredEvents.resize(controllerIndex + 1);
        eventFaultsDone.resize(controllerIndex + 1, 0);
    }
    if (deliveredEvents[controllerIndex].size() < eventCount)
        deliveredEvents[controllerIndex].resize(eventCount, false);
}

// Positions of the events not yet delivered whose time has come, earliest first.
static std::vector<size_t> DueEvents(size_t controllerIndex)
{
    const std::vector<SimEvent>& events = machine.controllers[controllerIndex].events;
    DWORD elapsed = GetTickCount() - sessionStart;
    std::vector<size_t> due;
    for (size_t i = 0; i < events.size(); i++)
        if (!deliveredEvents[controllerIndex][i] && events[i].dueMs <= elapsed)
            due.push_back(i);
    std::stable_sort(due.begin(), due.end(),
                     [&](size_t a, size_t b) { return events[a].dueMs < events[b].dueMs; });
    return due;
}

static void WriteEventRecord(uint8_t* record, const SimEvent& event)
{
    memset(record, machine.filler, EVENT_RECORD_BYTES);
    Write32(record, EVENT_CODE_OFFSET, event.code);
    memset(record + EVENT_DESCRIPTION_OFFSET, 0, EVENT_RECORD_BYTES - EVENT_DESCRIPTION_OFFSET);
    memcpy(record + EVENT_DESCRIPTION_OFFSET, event.description.data(), event.description.size());
}

// Request: n -1 (the events not yet delivered), n the most to deliver; the
// second field comes back with the number delivered.
static int ServeEvents(const I2Address& address, uint32_t zero, void* request, void* reply,
                       uint32_t replySize, bool* fault)
{
    const SimController* controller = NULL;
    int result = CheckControllerQuery(CALL_HBA_EVENTS, address, zero, &controller);
    if (result != RESULT_OK)
        return result;
    if (request == NULL || (int32_t)Read32(request, 0) != -1 || reply == NULL ||
        replySize < REPLY_HEADER_BYTES)
        return RESULT_BAD_ARGUMENT;
    size_t index = address.controllerIndex;
    EnsureEventState(index, controller->events.size());
    if (eventFaultsDone[index] < controller->eventFaults) {
        eventFaultsDone[index]++;
        *fault = true;
        return RESULT_FAILED;
    }
    int32_t asked = (int32_t)Read32(request, 4);
    std::vector<size_t> due = DueEvents(index);
    uint32_t delivered =
        asked > 0 ? EntriesThatFit(replySize, EVENT_RECORD_BYTES, (uint32_t)asked) : 0;
    delivered = std::min<uint32_t>(delivered, (uint32_t)due.size());
    WriteListHeader(reply, REPLY_HEADER_BYTES + delivered * EVENT_RECORD_BYTES);
    uint8_t* records = (uint8_t*)reply + REPLY_HEADER_BYTES;
    for (uint32_t i = 0; i < delivered; i++) {
        WriteEventRecord(records + i * EVENT_RECORD_BYTES, controller->events[due[i]]);
        deliveredEvents[index][due[i]] = true;
    }
    bool overstates = delivered > 0 && controller->overridesEventCount;
    Write32(request, 4, overstates ? (uint32_t)controller->reportedEventCount : delivered);
    return RESULT_OK;
}

// With KALVBRIDGE_CALL_LOG naming a file, every call appends one line to it:
// the function, the controller index ("-" for none) and the result, so a
// test in any process can see which calls the agent made and when.
static void LogCall(LibraryCall call, int controllerIndex, int result)
{
    WCHAR path[MAX_PATH * 4];
    DWORD length = GetEnvironmentVariableW(CALL_LOG_VARIABLE, path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path))
        return;
    HANDLE file =
        CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[96];
    int used =
        controllerIndex == NO_CONTROLLER
            ? snprintf(line, sizeof(line), "%s - %d\n", CALL_NAMES[call], result)
            : snprintf(line, sizeof(line), "%s %d %d\n", CALL_NAMES[call], controllerIndex, result);
    DWORD written = 0;
    WriteFile(file, line, (DWORD)used, &written, NULL);
    CloseHandle(file);
}

// A real access violation, not a raised exception, so that the caller's
// guard meets what a broken library does. The lock is already released.
static void __attribute__((noinline)) FaultInsideLibrary(void)
{
    volatile int* volatile nowhere = NULL;
    *nowhere = 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&libraryLock);
    return TRUE;
}

// Each export serves its call under the library lock and logs it.
template <typename Serve> static int ServeLocked(LibraryCall call, int controllerIndex, Serve serve)
{
    EnterCriticalSection(&libraryLock);
    int result = serve();
    LogCall(call, controllerIndex, result);
    LeaveCriticalSection(&libraryLock);
    return result;
}

extern "C" {

int i2_initialize(void* initBlock)
{
    return ServeLocked(CALL_INITIALIZE, NO_CONTROLLER, [&] { return ServeInitialize(initBlock); });
}

int i2_discover(int one)
{
    return ServeLocked(CALL_DISCOVER, NO_CONTROLLER, [&] { return ServeDiscover(one); });
}

int i2_finalize(void)
{
    return ServeLocked(CALL_FINALIZE, NO_CONTROLLER, [&] { return ServeFinalize(); });
}

int i2_getNumberOfHBA(uint32_t* count)
{
    return ServeLocked(CALL_NUMBER_OF_HBA, NO_CONTROLLER, [&] { return ServeNumberOfHba(count); });
}

int i2_getDriverInfo(I2Address address, uint32_t zero, void* reply)
{
    return ServeLocked(CALL_DRIVER_INFO, address.controllerIndex,
                       [&] { return ServeDriverInfo(address, zero, reply); });
}

int i2_getDiscoverPath(I2Address address, void* reply, uint32_t replySize)
{
    return ServeLocked(CALL_DISCOVER_PATH, address.controllerIndex,
                       [&] { return ServeDiscoverPath(address, reply, replySize); });
}

int i2_getBuzzerStatus(I2Address address, uint32_t zero, void* statusByte, uint32_t replySize)
{
    return ServeLocked(CALL_BUZZER_STATUS, address.controllerIndex,
                       [&] { return ServeBuzzerStatus(address, zero, statusByte, replySize); });
}

int i2_getControllerInfo(I2Address address, uint32_t zero, const void* request, void* reply,
                         uint32_t replySize)
{
    return ServeLocked(CALL_CONTROLLER_INFO, address.controllerIndex, [&] {
        return ServeControllerInfo(address, zero, request, reply, replySize);
    });
}

int i2_getControllerSettings(I2Address address, uint32_t zero, const void* request, void* reply,
                             uint32_t replySize)
{
    return ServeLocked(CALL_CONTROLLER_SETTINGS, address.controllerIndex, [&] {
        return ServeControllerSettings(address, zero, request, reply, replySize);
    });
}

int i2_getBatteryInfo(I2Address address, uint32_t zero, const void* request, void* reply,
                      uint32_t replySize)
{
    return ServeLocked(CALL_BATTERY_INFO, address.controllerIndex,
                       [&] { return ServeBatteryInfo(address, zero, request, reply, replySize); });
}

int i2_getEnclosureInfo(I2Address address, uint32_t zero, const void* request, void* reply,
                        uint32_t replySize)
{
    return ServeLocked(CALL_ENCLOSURE_INFO, address.controllerIndex, [&] {
        return ServeEnclosureInfo(address, zero, request, reply, replySize);
    });
}

int i2_getEnclosureStatus(I2Address address, uint32_t zero, const void* request, void* reply,
                          uint32_t replySize)
{
    return ServeLocked(CALL_ENCLOSURE_STATUS, address.controllerIndex, [&] {
        return ServeEnclosureStatus(address, zero, request, reply, replySize);
    });
}

int i2_getPhyDrvInfo(I2Address address, uint32_t zero, const void* request, void* reply,
                     uint32_t replySize)
{
    return ServeLocked(CALL_PHY_DRV_INFO, address.controllerIndex, [&] {
        return ServePhysicalDrives(address, zero, request, reply, replySize);
    });
}

int i2_getPhyDrvSettings(I2Address address, uint32_t zero, const void* request, void* reply,
                         uint32_t replySize)
{
    return ServeLocked(CALL_PHY_DRV_SETTINGS, address.controllerIndex, [&] {
        return ServeDriveReply(CALL_PHY_DRV_SETTINGS, address, zero, request, 1, 1, reply,
                               replySize);
    });
}

int i2_getHBAMediaPatrolProgress(I2Address address, uint32_t zero, const void* request, void* reply,
                                 uint32_t replySize)
{
    return ServeLocked(CALL_MEDIA_PATROL_PROGRESS, address.controllerIndex, [&] {
        return ServeDriveReply(CALL_MEDIA_PATROL_PROGRESS, address, zero, request, 1, -1, reply,
                               replySize);
    });
}

int i2_getLogDrvInfo(I2Address address, uint32_t zero, const void* request, void* reply,
                     uint32_t replySize)
{
    return ServeLocked(CALL_LOG_DRV_INFO, address.controllerIndex, [&] {
        return ServeLogicalDrives(address, zero, request, reply, replySize);
    });
}

int i2_getLogDrvSettings(I2Address address, uint32_t zero, const void* request, void* reply,
                         uint32_t replySize)
{
    return ServeLocked(CALL_LOG_DRV_SETTINGS, address.controllerIndex, [&] {
        return ServeLogicalDriveSettings(address, zero, request, reply, replySize);
    });
}

int i2_getRebuildProgress(I2Address address, uint32_t zero, const void* request, void* reply,
                          uint32_t replySize)
{
    return ServeLocked(CALL_REBUILD_PROGRESS, address.controllerIndex, [&] {
        return ServeProgress(PROGRESS_REBUILD, address, zero, request, reply, replySize);
    });
}

int i2_getLogDrvSynchProgress(I2Address address, uint32_t zero, const void* request, void* reply,
                              uint32_t replySize)
{
    return ServeLocked(CALL_SYNCH_PROGRESS, address.controllerIndex, [&] {
        return ServeProgress(PROGRESS_SYNCHRONISATION, address, zero, request, reply, replySize);
    });
}

int i2_getRedundancyCheckProgress(I2Address address, uint32_t zero, const void* request,
                                  void* reply, uint32_t replySize)
{
    return ServeLocked(CALL_REDUNDANCY_CHECK_PROGRESS, address.controllerIndex, [&] {
        return ServeProgress(PROGRESS_REDUNDANCY_CHECK, address, zero, request, reply, replySize);
    });
}

int i2_getLogDrvInitProgress(I2Address address, uint32_t zero, const void* request, void* reply,
                             uint32_t replySize)
{
    return ServeLocked(CALL_INIT_PROGRESS, address.controllerIndex, [&] {
        return ServeProgress(PROGRESS_INITIALISATION, address, zero, request, reply, replySize);
    });
}

int i2_getMigrationProgress(I2Address address, uint32_t zero, const void* request, void* reply,
                            uint32_t replySize)
{
    return ServeLocked(CALL_MIGRATION_PROGRESS, address.controllerIndex, [&] {
        return ServeProgress(PROGRESS_MIGRATION, address, zero, request, reply, replySize);
    });
}

// A fault switch faults only after the lock is released, as a caller that
// survives the fault must still find the library usable.
int i2_getHBAEvents(I2Address address, uint32_t zero, void* request, void* reply,
                    uint32_t replySize)
{
    bool fault = false;
    EnterCriticalSection(&libraryLock);
    int result = ServeEvents(address, zero, request, reply, replySize, &fault);
    LogCall(CALL_HBA_EVENTS, address.controllerIndex, fault ? RESULT_FAULT : result);
    LeaveCriticalSection(&libraryLock);
    if (fault)
        FaultInsideLibrary();
    return result;
}

} // extern "C"
