#pragma once
// The simulated machine. A scenario text (JSON) is turned once, when it is
// loaded, into the reply images the library functions hand out, so a call
// only looks its object up and copies bytes.
#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> ReplyImage;

// Every library function, for the failing-call switches.
enum LibraryCall {
    CALL_INITIALIZE,
    CALL_DISCOVER,
    CALL_FINALIZE,
    CALL_NUMBER_OF_HBA,
    CALL_DRIVER_INFO,
    CALL_DISCOVER_PATH,
    CALL_BUZZER_STATUS,
    CALL_CONTROLLER_INFO,
    CALL_CONTROLLER_SETTINGS,
    CALL_BATTERY_INFO,
    CALL_ENCLOSURE_INFO,
    CALL_ENCLOSURE_STATUS,
    CALL_PHY_DRV_INFO,
    CALL_PHY_DRV_SETTINGS,
    CALL_MEDIA_PATROL_PROGRESS,
    CALL_LOG_DRV_INFO,
    CALL_LOG_DRV_SETTINGS,
    CALL_REBUILD_PROGRESS,
    CALL_SYNCH_PROGRESS,
    CALL_REDUNDANCY_CHECK_PROGRESS,
    CALL_INIT_PROGRESS,
    CALL_MIGRATION_PROGRESS,
    CALL_HBA_EVENTS,
    CALL_KINDS
};

extern const char* const CALL_NAMES[CALL_KINDS];

// The background operations whose progress a logical drive reports, in the
// order of their calls above.
enum ProgressKind {
    PROGRESS_REBUILD,
    PROGRESS_SYNCHRONISATION,
    PROGRESS_REDUNDANCY_CHECK,
    PROGRESS_INITIALISATION,
    PROGRESS_MIGRATION,
    PROGRESS_KINDS
};

// Byte positions the agent reads, shared by the reply builders and the
// library functions.
enum {
    REPLY_HEADER_BYTES = 64,
    USED_LENGTH_OFFSET = 36,
    ENCLOSURE_ENTRY_BYTES = 16,
    DRIVE_ENTRY_BYTES = 664,
    LOGICAL_DRIVE_ENTRY_BYTES = 200,
    EVENT_RECORD_BYTES = 408,
    EVENT_CODE_OFFSET = 12,
    EVENT_DESCRIPTION_OFFSET = 84,
    DRIVER_INFO_BYTES = 16
};

struct SimEvent {
    uint32_t code;
    std::string description;
    uint32_t dueMs; // after the session's first initialisation
};

struct SimEnclosure {
    bool present;
    ReplyImage entry;  // one list entry
    ReplyImage status; // the sensor reply
};

struct SimDrive {
    uint32_t id;
    ReplyImage entry;
    ReplyImage settings;
    ReplyImage mediaPatrol;
};

struct SimLogicalDrive {
    uint32_t id;
    ReplyImage entry;
    ReplyImage settings;
    bool hasProgress[PROGRESS_KINDS];
    ReplyImage progress[PROGRESS_KINDS];
};

struct SimController {
    ReplyImage discoverPath;
    ReplyImage info0;
    ReplyImage info2;
    ReplyImage settings;
    ReplyImage battery;
    uint8_t buzzerStatus;
    std::vector<SimEnclosure> enclosures; // by enclosure index
    std::vector<SimDrive> drives;
    std::vector<SimLogicalDrive> logicalDrives;
    // Used lengths reported instead of the true ones, when set.
    bool overridesDriveListLength;
    uint32_t driveListLength;
    bool overridesLogicalDriveListLength;
    uint32_t logicalDriveListLength;
    std::vector<SimEvent> events;
    uint32_t eventFaults; // event calls that fault, per session
    bool overridesEventCount;
    int32_t reportedEventCount; // count reported by calls that deliver
    bool failingCalls[CALL_KINDS];
};

struct SimMachine {
    uint8_t filler; // bytes of a reply that carry no meaning
    ReplyImage driverInfo;
    uint32_t discoveryFailures;
    bool failingCalls[CALL_KINDS];
    std::vector<SimController> controllers;
};

// False with a reason when the text is no valid scenario.
bool BuildMachine(const std::string& scenarioText, SimMachine* machine, std::string* error);

// The machine served when no scenario file is named.
extern const char DEFAULT_SCENARIO[];
