// Turns a scenario text into reply images. Each reply starts as filler,
// every field the agent reads is then cleared, given its default and
// finally the scenario's value, so only those fields carry meaning.
#include "scenario.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <iterator>
#include <nlohmann/json.hpp>

using nlohmann::json;

const char* const CALL_NAMES[CALL_KINDS] = {"i2_initialize",
                                            "i2_discover",
                                            "i2_finalize",
                                            "i2_getNumberOfHBA",
                                            "i2_getDriverInfo",
                                            "i2_getDiscoverPath",
                                            "i2_getBuzzerStatus",
                                            "i2_getControllerInfo",
                                            "i2_getControllerSettings",
                                            "i2_getBatteryInfo",
                                            "i2_getEnclosureInfo",
                                            "i2_getEnclosureStatus",
                                            "i2_getPhyDrvInfo",
                                            "i2_getPhyDrvSettings",
                                            "i2_getHBAMediaPatrolProgress",
                                            "i2_getLogDrvInfo",
                                            "i2_getLogDrvSettings",
                                            "i2_getRebuildProgress",
                                            "i2_getLogDrvSynchProgress",
                                            "i2_getRedundancyCheckProgress",
                                            "i2_getLogDrvInitProgress",
                                            "i2_getMigrationProgress",
                                            "i2_getHBAEvents"};

// A scenario key whose number (or array of count numbers) goes little-endian
// into a reply, width bytes each from offset.
struct FieldSpot {
    const char* key;
    uint16_t offset;
    uint8_t width;
    uint8_t count;
};

// A scenario key whose text goes into room bytes from offset; a text that
// fills its room has no NUL.
struct TextSpot {
    const char* key;
    uint16_t offset;
    uint16_t room;
};

struct Layout {
    const FieldSpot* fields;
    size_t fieldCount;
    const TextSpot* texts;
    size_t textCount;
};

enum {
    MAX_CONTROLLERS = 64,
    MAX_ENCLOSURES = 128,
    MAX_LIST_ENTRIES = 128,
    MAX_EXTENTS = 16,
    MAX_SENSORS = 6,
    NO_ENCLOSURE = 255,
    NO_OWNER = 255,
    EXTENT_COUNT_OFFSET = 151,
    FIRST_EXTENT_OFFSET = 152,
    EXTENT_RECORD_BYTES = 32,
    FIRST_SENSOR_OFFSET = 68,
    SENSOR_RECORD_BYTES = 8,
    DRIVE_SETTING_A_APPLIES = 74,
    DRIVE_SETTING_B_APPLIES = 75,
    DRIVE_SETTING_A = 76,
    DRIVE_SETTING_B = 77
};

static const FieldSpot DRIVER_FIELDS[] = {{"driverVersion", 0, 4, 4}};

static const FieldSpot PATH_FIELDS[] = {{"pathWords", 464, 4, 4}};

static const FieldSpot INFO0_FIELDS[] = {
    {"deviceId", 72, 4, 1}, {"subsystemId", 76, 4, 1}, {"firmwareVersion", 300, 4, 4},
    {"byte316", 316, 1, 1}, {"byte317", 317, 1, 1},    {"byte318", 318, 1, 1},
    {"byte320", 320, 1, 1}, {"byte321", 321, 1, 1},    {"byte322", 322, 1, 1},
    {"byte324", 324, 1, 1}, {"byte325", 325, 1, 1},    {"byte329", 329, 1, 1},
    {"word332", 332, 4, 1}, {"half338", 338, 2, 1},    {"half348", 348, 2, 1},
    {"half376", 376, 2, 1}, {"byte378", 378, 1, 1}};

static const FieldSpot INFO2_FIELDS[] = {{"page2Version", 72, 4, 4}};

static const FieldSpot CONTROLLER_SETTINGS_FIELDS[] = {{"settingsByte82", 82, 1, 1}};

static const FieldSpot BATTERY_FIELDS[] = {
    {"temperature", 100, 2, 1}, {"voltage", 106, 2, 1}, {"status", 110, 1, 1}};

static const FieldSpot ENCLOSURE_FIELDS[] = {{"kind", 14, 1, 1}};

// Relative to the sensor record.
static const FieldSpot SENSOR_FIELDS[] = {{"type", 0, 1, 1}, {"value", 4, 4, 1}};

static const FieldSpot DRIVE_FIELDS[] = {{"id", 4, 2, 1},
                                         {"half10", 10, 2, 1},
                                         {"enclosure", 14, 2, 1},
                                         {"slot", 16, 2, 1},
                                         {"byte21", 21, 1, 1},
                                         {"conditionValid", 22, 1, 1},
                                         {"condition", 23, 1, 1},
                                         {"sectors", 24, 8, 1},
                                         {"word52", 52, 4, 1},
                                         {"half56", 56, 2, 1},
                                         {"half58", 58, 2, 1},
                                         {"byte148", 148, 1, 1},
                                         {"extentCount", EXTENT_COUNT_OFFSET, 1, 1}};

static const TextSpot DRIVE_TEXTS[] = {{"text64", 64, 46}, {"text110", 110, 38}};

// Relative to the extent record.
static const FieldSpot EXTENT_FIELDS[] = {{"code", 0, 2, 1},
                                          {"flags", 4, 4, 1},
                                          {"owner", 8, 2, 1},
                                          {"start", 16, 8, 1},
                                          {"sectors", 24, 8, 1}};

static const FieldSpot MEDIA_PATROL_FIELDS[] = {
    {"state", 86, 2, 1}, {"half88", 88, 2, 1}, {"half90", 90, 2, 1}, {"half92", 92, 2, 1}};

static const FieldSpot LOGICAL_DRIVE_FIELDS[] = {
    {"level", 2, 1, 1},     {"activityFlags", 4, 4, 1}, {"cacheFlags", 8, 4, 1},
    {"sectors", 12, 8, 1},  {"half38", 38, 2, 1},       {"word44", 44, 4, 1},
    {"id", 48, 2, 1},       {"byte168", 168, 1, 1},     {"byte169", 169, 1, 1},
    {"half170", 170, 2, 1}, {"byte172", 172, 1, 1}};

static const TextSpot LOGICAL_DRIVE_TEXTS[] = {{"name", 52, 116}};

static const FieldSpot LOGICAL_DRIVE_SETTINGS_FIELDS[] = {{"byte112", 112, 1, 1},
                                                          {"half113", 113, 2, 1}};

static const FieldSpot REBUILD_FIELDS[] = {{"status", 64, 1, 1}, {"percent", 66, 1, 1}};
static const FieldSpot OPERATION_FIELDS[] = {{"status", 70, 1, 1}, {"percent", 71, 1, 1}};
static const FieldSpot MIGRATION_FIELDS[] = {{"status", 70, 1, 1}, {"percent", 68, 2, 1}};

#define LAYOUT_OF(fields)                                                                          \
    {                                                                                              \
        fields, std::size(fields), NULL, 0                                                         \
    }
#define LAYOUT_WITH_TEXTS(fields, texts)                                                           \
    {                                                                                              \
        fields, std::size(fields), texts, std::size(texts)                                         \
    }

static const Layout DRIVER_LAYOUT = LAYOUT_OF(DRIVER_FIELDS);
static const Layout PATH_LAYOUT = LAYOUT_OF(PATH_FIELDS);
static const Layout INFO0_LAYOUT = LAYOUT_OF(INFO0_FIELDS);
static const Layout INFO2_LAYOUT = LAYOUT_OF(INFO2_FIELDS);
static const Layout CONTROLLER_SETTINGS_LAYOUT = LAYOUT_OF(CONTROLLER_SETTINGS_FIELDS);
static const Layout BATTERY_LAYOUT = LAYOUT_OF(BATTERY_FIELDS);
static const Layout ENCLOSURE_LAYOUT = LAYOUT_OF(ENCLOSURE_FIELDS);
static const Layout SENSOR_LAYOUT = LAYOUT_OF(SENSOR_FIELDS);
static const Layout DRIVE_LAYOUT = LAYOUT_WITH_TEXTS(DRIVE_FIELDS, DRIVE_TEXTS);
static const Layout EXTENT_LAYOUT = LAYOUT_OF(EXTENT_FIELDS);
static const Layout MEDIA_PATROL_LAYOUT = LAYOUT_OF(MEDIA_PATROL_FIELDS);
static const Layout LOGICAL_DRIVE_LAYOUT =
    LAYOUT_WITH_TEXTS(LOGICAL_DRIVE_FIELDS, LOGICAL_DRIVE_TEXTS);
static const Layout LOGICAL_DRIVE_SETTINGS_LAYOUT = LAYOUT_OF(LOGICAL_DRIVE_SETTINGS_FIELDS);

struct ProgressReply {
    const char* key;
    uint16_t bytes;
    Layout layout;
};

static const ProgressReply PROGRESS_REPLIES[PROGRESS_KINDS] = {
    {"rebuild", 88, LAYOUT_OF(REBUILD_FIELDS)},
    {"synchronisation", 72, LAYOUT_OF(OPERATION_FIELDS)},
    {"redundancyCheck", 72, LAYOUT_OF(OPERATION_FIELDS)},
    {"initialisation", 524, LAYOUT_OF(OPERATION_FIELDS)},
    {"migration", 208, LAYOUT_OF(MIGRATION_FIELDS)}};

// Reply sizes of the fixed replies.
enum {
    DISCOVER_PATH_BYTES = 656,
    CONTROLLER_INFO0_BYTES = 432,
    CONTROLLER_INFO2_BYTES = 88,
    CONTROLLER_SETTINGS_BYTES = 88,
    BATTERY_BYTES = 112,
    ENCLOSURE_STATUS_BYTES = 116,
    DRIVE_SETTINGS_BYTES = 80,
    MEDIA_PATROL_BYTES = 124,
    LOGICAL_DRIVE_SETTINGS_BYTES = 179
};

static const char* const MACHINE_KEYS[] = {"fillerByte", "discoveryFailures", "failingCalls",
                                           "controllers", NULL};
static const char* const CONTROLLER_KEYS[] = {"buzzer",
                                              "battery",
                                              "enclosures",
                                              "physicalDrives",
                                              "logicalDrives",
                                              "events",
                                              "eventFaults",
                                              "reportedEventCount",
                                              "failingCalls",
                                              "driveListUsedLength",
                                              "logicalDriveListUsedLength",
                                              NULL};
static const char* const ENCLOSURE_KEYS[] = {"sensors", NULL};
static const char* const DRIVE_KEYS[] = {"settingA", "settingB", "mediaPatrol", "extents", NULL};
static const char* const LOGICAL_DRIVE_KEYS[] = {"settings", "progress", NULL};
static const char* const EVENT_KEYS[] = {"code", "description", "dueMs", NULL};
static const char* const NO_KEYS[] = {NULL};

static bool Fail(std::string* error, const std::string& where, const std::string& what)
{
    *error = where + ": " + what;
    return false;
}

static std::string Member(const std::string& where, const char* key)
{
    return where.empty() ? std::string(key) : where + "." + key;
}

static std::string Element(const std::string& where, size_t index)
{
    return where + "[" + std::to_string(index) + "]";
}

// A number as its 64-bit pattern. Strings are decimal, or hexadecimal after
// "0x" ("0x3F20"); a leading zero never means octal.
static bool ReadBits(const json& value, uint64_t* bits, bool* negative)
{
    if (value.is_number_unsigned()) {
        *bits = value.get<uint64_t>();
        *negative = false;
        return true;
    }
    if (value.is_number_integer()) {
        int64_t number = value.get<int64_t>();
        *bits = (uint64_t)number;
        *negative = number < 0;
        return true;
    }
    if (!value.is_string())
        return false;
    const std::string& text = value.get_ref<const std::string&>();
    const char* digits = text.c_str();
    *negative = *digits == '-';
    if (*negative)
        digits++;
    if (*digits < '0' || *digits > '9')
        return false;
    int base = 10;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits += 2;
    }
    if (!isxdigit((unsigned char)*digits))
        return false;
    char* end = NULL;
    errno = 0;
    unsigned long long magnitude = strtoull(digits, &end, base);
    if (errno != 0 || *end != '\0' || (*negative && magnitude > (1ULL << 63)))
        return false;
    *bits = *negative ? (uint64_t)0 - magnitude : magnitude;
    return true;
}

static bool FitsWidth(uint64_t bits, bool negative, int width)
{
    if (width >= 8)
        return true;
    if (!negative)
        return bits < (1ULL << (8 * width));
    return (int64_t)bits >= -(int64_t)(1ULL << (8 * width - 1));
}

static bool ReadInteger(const json& object, const char* key, int64_t low, int64_t high,
                        int64_t* out, const std::string& where, std::string* error)
{
    uint64_t bits = 0;
    bool negative = false;
    if (!object.contains(key))
        return Fail(error, Member(where, key), "missing");
    if (!ReadBits(object[key], &bits, &negative))
        return Fail(error, Member(where, key), "not an integer");
    int64_t number = (int64_t)bits;
    if ((!negative && bits > (uint64_t)INT64_MAX) || number < low || number > high)
        return Fail(error, Member(where, key),
                    "out of range " + std::to_string(low) + " to " + std::to_string(high));
    *out = number;
    return true;
}

static void PutBits(ReplyImage* image, size_t offset, uint64_t bits, int width)
{
    for (int i = 0; i < width; i++)
        (*image)[offset + i] = (uint8_t)(bits >> (8 * i));
}

static bool CheckObject(const json& object, const std::string& where, std::string* error)
{
    return object.is_object() || Fail(error, where, "not an object");
}

static bool KnownInLayout(const Layout& layout, const std::string& key)
{
    for (size_t i = 0; i < layout.fieldCount; i++)
        if (key == layout.fields[i].key)
            return true;
    for (size_t i = 0; i < layout.textCount; i++)
        if (key == layout.texts[i].key)
            return true;
    return false;
}

// Misspelt keys would otherwise be served silently as zeros.
static bool CheckKeys(const json& object, std::initializer_list<const Layout*> layouts,
                      const char* const* extras, const std::string& where, std::string* error)
{
    for (auto item = object.begin(); item != object.end(); ++item) {
        bool known = false;
        for (const Layout* layout : layouts)
            known = known || KnownInLayout(*layout, item.key());
        for (const char* const* extra = extras; *extra != NULL && !known; extra++)
            known = item.key() == *extra;
        if (!known)
            return Fail(error, Member(where, item.key().c_str()), "unknown key");
    }
    return true;
}

static void ClearLayout(const Layout& layout, ReplyImage* image, size_t base)
{
    for (size_t i = 0; i < layout.fieldCount; i++) {
        const FieldSpot& spot = layout.fields[i];
        memset(image->data() + base + spot.offset, 0, (size_t)spot.width * spot.count);
    }
    for (size_t i = 0; i < layout.textCount; i++)
        memset(image->data() + base + layout.texts[i].offset, 0, layout.texts[i].room);
}

static bool PutField(const json& value, const FieldSpot& spot, ReplyImage* image, size_t base,
                     const std::string& where, std::string* error)
{
    if (spot.count > 1 && (!value.is_array() || value.size() != spot.count))
        return Fail(error, where, "needs " + std::to_string(spot.count) + " numbers");
    for (size_t i = 0; i < spot.count; i++) {
        const json& number = spot.count > 1 ? value[i] : value;
        uint64_t bits = 0;
        bool negative = false;
        if (!ReadBits(number, &bits, &negative))
            return Fail(error, where, "not an integer");
        if (!FitsWidth(bits, negative, spot.width))
            return Fail(error, where, "does not fit " + std::to_string(spot.width) + " bytes");
        PutBits(image, base + spot.offset + i * spot.width, bits, spot.width);
    }
    return true;
}

static bool PutText(const json& value, const TextSpot& spot, ReplyImage* image, size_t base,
                    const std::string& where, std::string* error)
{
    if (!value.is_string())
        return Fail(error, where, "not a text");
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() > spot.room)
        return Fail(error, where, "longer than " + std::to_string(spot.room) + " bytes");
    memcpy(image->data() + base + spot.offset, text.data(), text.size());
    return true;
}

static bool PutLayout(const json& object, const Layout& layout, ReplyImage* image, size_t base,
                      const std::string& where, std::string* error)
{
    for (size_t i = 0; i < layout.fieldCount; i++) {
        const FieldSpot& spot = layout.fields[i];
        if (object.contains(spot.key) &&
            !PutField(object[spot.key], spot, image, base, Member(where, spot.key), error))
            return false;
    }
    for (size_t i = 0; i < layout.textCount; i++) {
        const TextSpot& spot = layout.texts[i];
        if (object.contains(spot.key) &&
            !PutText(object[spot.key], spot, image, base, Member(where, spot.key), error))
            return false;
    }
    return true;
}

// A fixed reply drawn from one object: filler, cleared fields, its values.
static bool BuildReply(const json& object, const Layout& layout, size_t bytes, uint8_t filler,
                       ReplyImage* image, const std::string& where, std::string* error)
{
    *image = ReplyImage(bytes, filler);
    ClearLayout(layout, image, 0);
    return PutLayout(object, layout, image, 0, where, error);
}

// An optional array member; absent reads as empty.
static bool ReadArray(const json& object, const char* key, size_t maximum, const json** array,
                      const std::string& where, std::string* error)
{
    static const json EMPTY = json::array();
    *array = &EMPTY;
    if (!object.contains(key))
        return true;
    const json& value = object[key];
    if (!value.is_array())
        return Fail(error, Member(where, key), "not an array");
    if (value.size() > maximum)
        return Fail(error, Member(where, key), "more than " + std::to_string(maximum) + " entries");
    *array = &value;
    return true;
}

static bool ReadFailingCalls(const json& object, bool* failing, const std::string& where,
                             std::string* error)
{
    const json* names = NULL;
    if (!ReadArray(object, "failingCalls", CALL_KINDS, &names, where, error))
        return false;
    for (size_t i = 0; i < names->size(); i++) {
        const json& name = (*names)[i];
        int call = 0;
        while (call < CALL_KINDS &&
               !(name.is_string() && name.get<std::string>() == CALL_NAMES[call]))
            call++;
        if (call == CALL_KINDS)
            return Fail(error, Element(Member(where, "failingCalls"), i), "no library function");
        failing[call] = true;
    }
    return true;
}

static bool BuildEnclosure(const json& object, uint8_t filler, SimEnclosure* enclosure,
                           const std::string& where, std::string* error)
{
    enclosure->present = !object.is_null();
    enclosure->entry = ReplyImage(ENCLOSURE_ENTRY_BYTES, 0);
    if (!enclosure->present)
        return true;
    const json* sensors = NULL;
    if (!CheckObject(object, where, error) ||
        !CheckKeys(object, {&ENCLOSURE_LAYOUT}, ENCLOSURE_KEYS, where, error) ||
        !BuildReply(object, ENCLOSURE_LAYOUT, ENCLOSURE_ENTRY_BYTES, filler, &enclosure->entry,
                    where, error) ||
        !ReadArray(object, "sensors", MAX_SENSORS, &sensors, where, error))
        return false;
    enclosure->present = enclosure->entry[14] != 0;
    enclosure->status = ReplyImage(ENCLOSURE_STATUS_BYTES, filler);
    for (size_t i = 0; i < MAX_SENSORS; i++)
        ClearLayout(SENSOR_LAYOUT, &enclosure->status,
                    FIRST_SENSOR_OFFSET + i * SENSOR_RECORD_BYTES);
    for (size_t i = 0; i < sensors->size(); i++) {
        const json& sensor = (*sensors)[i];
        std::string at = Element(Member(where, "sensors"), i);
        if (!CheckObject(sensor, at, error) ||
            !CheckKeys(sensor, {&SENSOR_LAYOUT}, NO_KEYS, at, error) ||
            !PutLayout(sensor, SENSOR_LAYOUT, &enclosure->status,
                       FIRST_SENSOR_OFFSET + i * SENSOR_RECORD_BYTES, at, error))
            return false;
    }
    return true;
}

static bool BuildExtents(const json& drive, SimDrive* built, const std::string& where,
                         std::string* error)
{
    const json* extents = NULL;
    if (!ReadArray(drive, "extents", MAX_EXTENTS, &extents, where, error))
        return false;
    built->entry[EXTENT_COUNT_OFFSET] = (uint8_t)extents->size();
    for (size_t i = 0; i < extents->size(); i++) {
        const json& extent = (*extents)[i];
        std::string at = Element(Member(where, "extents"), i);
        size_t base = FIRST_EXTENT_OFFSET + i * EXTENT_RECORD_BYTES;
        if (!CheckObject(extent, at, error) ||
            !CheckKeys(extent, {&EXTENT_LAYOUT}, NO_KEYS, at, error))
            return false;
        ClearLayout(EXTENT_LAYOUT, &built->entry, base);
        PutBits(&built->entry, base + 8, NO_OWNER, 2);
        if (!PutLayout(extent, EXTENT_LAYOUT, &built->entry, base, at, error))
            return false;
    }
    return true;
}

static bool BuildDriveSetting(const json& drive, const char* key, size_t appliesOffset,
                              size_t valueOffset, ReplyImage* settings, const std::string& where,
                              std::string* error)
{
    (*settings)[appliesOffset] = 0;
    (*settings)[valueOffset] = 0;
    if (!drive.contains(key))
        return true;
    int64_t value = 0;
    if (!ReadInteger(drive, key, 0, 255, &value, where, error))
        return false;
    (*settings)[appliesOffset] = 1;
    (*settings)[valueOffset] = (uint8_t)value;
    return true;
}

static bool BuildDrive(const json& drive, size_t position, uint8_t filler, SimDrive* built,
                       const std::string& where, std::string* error)
{
    if (!CheckObject(drive, where, error) ||
        !CheckKeys(drive, {&DRIVE_LAYOUT}, DRIVE_KEYS, where, error))
        return false;
    built->entry = ReplyImage(DRIVE_ENTRY_BYTES, filler);
    ClearLayout(DRIVE_LAYOUT, &built->entry, 0);
    PutBits(&built->entry, 4, position, 2);
    PutBits(&built->entry, 14, NO_ENCLOSURE, 2);
    if (!BuildExtents(drive, built, where, error) ||
        !PutLayout(drive, DRIVE_LAYOUT, &built->entry, 0, where, error))
        return false;
    built->id = built->entry[4] | (built->entry[5] << 8);

    built->settings = ReplyImage(DRIVE_SETTINGS_BYTES, filler);
    static const json NO_PATROL = json::object();
    const json& patrol = drive.contains("mediaPatrol") ? drive["mediaPatrol"] : NO_PATROL;
    std::string patrolWhere = Member(where, "mediaPatrol");
    return BuildDriveSetting(drive, "settingA", DRIVE_SETTING_A_APPLIES, DRIVE_SETTING_A,
                             &built->settings, where, error) &&
           BuildDriveSetting(drive, "settingB", DRIVE_SETTING_B_APPLIES, DRIVE_SETTING_B,
                             &built->settings, where, error) &&
           CheckObject(patrol, patrolWhere, error) &&
           CheckKeys(patrol, {&MEDIA_PATROL_LAYOUT}, NO_KEYS, patrolWhere, error) &&
           BuildReply(patrol, MEDIA_PATROL_LAYOUT, MEDIA_PATROL_BYTES, filler, &built->mediaPatrol,
                      patrolWhere, error);
}

static bool BuildProgress(const json& logicalDrive, uint8_t filler, SimLogicalDrive* built,
                          const std::string& where, std::string* error)
{
    static const json NONE = json::object();
    const json& progress = logicalDrive.contains("progress") ? logicalDrive["progress"] : NONE;
    std::string progressWhere = Member(where, "progress");
    if (!CheckObject(progress, progressWhere, error))
        return false;
    for (auto item = progress.begin(); item != progress.end(); ++item) {
        int kind = 0;
        while (kind < PROGRESS_KINDS && item.key() != PROGRESS_REPLIES[kind].key)
            kind++;
        if (kind == PROGRESS_KINDS)
            return Fail(error, Member(progressWhere, item.key().c_str()), "unknown key");
    }
    for (int kind = 0; kind < PROGRESS_KINDS; kind++) {
        const ProgressReply& reply = PROGRESS_REPLIES[kind];
        built->hasProgress[kind] = progress.contains(reply.key);
        if (!built->hasProgress[kind])
            continue;
        const json& operation = progress[reply.key];
        std::string at = Member(progressWhere, reply.key);
        if (!CheckObject(operation, at, error) ||
            !CheckKeys(operation, {&reply.layout}, NO_KEYS, at, error) ||
            !BuildReply(operation, reply.layout, reply.bytes, filler, &built->progress[kind], at,
                        error))
            return false;
    }
    return true;
}

static bool BuildLogicalDrive(const json& logicalDrive, size_t position, uint8_t filler,
                              SimLogicalDrive* built, const std::string& where, std::string* error)
{
    if (!CheckObject(logicalDrive, where, error) ||
        !CheckKeys(logicalDrive, {&LOGICAL_DRIVE_LAYOUT}, LOGICAL_DRIVE_KEYS, where, error))
        return false;
    built->entry = ReplyImage(LOGICAL_DRIVE_ENTRY_BYTES, filler);
    ClearLayout(LOGICAL_DRIVE_LAYOUT, &built->entry, 0);
    PutBits(&built->entry, 48, position, 2);
    if (!PutLayout(logicalDrive, LOGICAL_DRIVE_LAYOUT, &built->entry, 0, where, error))
        return false;
    built->id = built->entry[48] | (built->entry[49] << 8);

    static const json NO_SETTINGS = json::object();
    const json& settings =
        logicalDrive.contains("settings") ? logicalDrive["settings"] : NO_SETTINGS;
    std::string settingsWhere = Member(where, "settings");
    return CheckObject(settings, settingsWhere, error) &&
           CheckKeys(settings, {&LOGICAL_DRIVE_SETTINGS_LAYOUT}, NO_KEYS, settingsWhere, error) &&
           BuildReply(settings, LOGICAL_DRIVE_SETTINGS_LAYOUT, LOGICAL_DRIVE_SETTINGS_BYTES, filler,
                      &built->settings, settingsWhere, error) &&
           BuildProgress(logicalDrive, filler, built, where, error);
}

static bool BuildEvent(const json& event, SimEvent* built, const std::string& where,
                       std::string* error)
{
    int64_t code = 0;
    int64_t due = 0;
    if (!CheckObject(event, where, error) || !CheckKeys(event, {}, EVENT_KEYS, where, error) ||
        !ReadInteger(event, "code", 0, UINT32_MAX, &code, where, error))
        return false;
    if (event.contains("dueMs") && !ReadInteger(event, "dueMs", 0, UINT32_MAX, &due, where, error))
        return false;
    built->code = (uint32_t)code;
    built->dueMs = (uint32_t)due;
    built->description.clear();
    if (!event.contains("description"))
        return true;
    const json& description = event["description"];
    if (!description.is_string())
        return Fail(error, Member(where, "description"), "not a text");
    built->description = description.get<std::string>();
    if (built->description.size() > EVENT_RECORD_BYTES - EVENT_DESCRIPTION_OFFSET)
        return Fail(error, Member(where, "description"), "longer than 324 bytes");
    return true;
}

template <typename Built, typename Builder>
static bool BuildList(const json& object, const char* key, size_t maximum, std::vector<Built>* list,
                      const std::string& where, std::string* error, Builder build)
{
    const json* array = NULL;
    if (!ReadArray(object, key, maximum, &array, where, error))
        return false;
    list->assign(array->size(), Built());
    for (size_t i = 0; i < array->size(); i++)
        if (!build((*array)[i], i, &(*list)[i], Element(Member(where, key), i)))
            return false;
    return true;
}

template <typename Item>
static bool CheckUniqueIds(const std::vector<Item>& items, const char* key,
                           const std::string& where, std::string* error)
{
    for (size_t i = 0; i < items.size(); i++)
        for (size_t j = 0; j < i; j++)
            if (items[i].id == items[j].id)
                return Fail(error, Element(Member(where, key), i), "id used twice");
    return true;
}

static bool ReadOverride(const json& object, const char* key, int64_t low, int64_t high,
                         bool* overrides, int64_t* value, const std::string& where,
                         std::string* error)
{
    *overrides = object.contains(key) && !object[key].is_null();
    return !*overrides || ReadInteger(object, key, low, high, value, where, error);
}

static bool BuildControllerReplies(const json& object, uint8_t filler, SimController* built,
                                   const std::string& where, std::string* error)
{
    static const json NO_BATTERY = json::object();
    const json& battery =
        object.contains("battery") && !object["battery"].is_null() ? object["battery"] : NO_BATTERY;
    std::string batteryWhere = Member(where, "battery");
    int64_t buzzer = 0;
    if (object.contains("buzzer") && !ReadInteger(object, "buzzer", 0, 255, &buzzer, where, error))
        return false;
    built->buzzerStatus = (uint8_t)buzzer;
    return BuildReply(object, PATH_LAYOUT, DISCOVER_PATH_BYTES, filler, &built->discoverPath, where,
                      error) &&
           BuildReply(object, INFO0_LAYOUT, CONTROLLER_INFO0_BYTES, filler, &built->info0, where,
                      error) &&
           BuildReply(object, INFO2_LAYOUT, CONTROLLER_INFO2_BYTES, filler, &built->info2, where,
                      error) &&
           BuildReply(object, CONTROLLER_SETTINGS_LAYOUT, CONTROLLER_SETTINGS_BYTES, filler,
                      &built->settings, where, error) &&
           CheckObject(battery, batteryWhere, error) &&
           CheckKeys(battery, {&BATTERY_LAYOUT}, NO_KEYS, batteryWhere, error) &&
           BuildReply(battery, BATTERY_LAYOUT, BATTERY_BYTES, filler, &built->battery, batteryWhere,
                      error);
}

static bool BuildControllerSwitches(const json& object, SimController* built,
                                    const std::string& where, std::string* error)
{
    int64_t driveLength = 0;
    int64_t logicalLength = 0;
    int64_t eventCount = 0;
    int64_t faults = 0;
    if (!ReadOverride(object, "driveListUsedLength", 0, UINT32_MAX,
                      &built->overridesDriveListLength, &driveLength, where, error) ||
        !ReadOverride(object, "logicalDriveListUsedLength", 0, UINT32_MAX,
                      &built->overridesLogicalDriveListLength, &logicalLength, where, error) ||
        !ReadOverride(object, "reportedEventCount", INT32_MIN, INT32_MAX,
                      &built->overridesEventCount, &eventCount, where, error) ||
        (object.contains("eventFaults") &&
         !ReadInteger(object, "eventFaults", 0, UINT32_MAX, &faults, where, error)))
        return false;
    built->driveListLength = (uint32_t)driveLength;
    built->logicalDriveListLength = (uint32_t)logicalLength;
    built->reportedEventCount = (int32_t)eventCount;
    built->eventFaults = (uint32_t)faults;
    memset(built->failingCalls, 0, sizeof(built->failingCalls));
    return ReadFailingCalls(object, built->failingCalls, where, error);
}

static bool BuildController(const json& object, uint8_t filler, SimController* built,
                            const std::string& where, std::string* error)
{
    if (!CheckObject(object, where, error) ||
        !CheckKeys(object,
                   {&PATH_LAYOUT, &INFO0_LAYOUT, &INFO2_LAYOUT, &CONTROLLER_SETTINGS_LAYOUT},
                   CONTROLLER_KEYS, where, error) ||
        !BuildControllerReplies(object, filler, built, where, error) ||
        !BuildControllerSwitches(object, built, where, error))
        return false;
    return BuildList(object, "enclosures", MAX_ENCLOSURES, &built->enclosures, where, error,
                     [&](const json& item, size_t, SimEnclosure* enclosure, const std::string& at) {
                         return BuildEnclosure(item, filler, enclosure, at, error);
                     }) &&
           BuildList(
               object, "physicalDrives", MAX_LIST_ENTRIES, &built->drives, where, error,
               [&](const json& item, size_t position, SimDrive* drive, const std::string& at) {
                   return BuildDrive(item, position, filler, drive, at, error);
               }) &&
           CheckUniqueIds(built->drives, "physicalDrives", where, error) &&
           BuildList(object, "logicalDrives", MAX_LIST_ENTRIES, &built->logicalDrives, where, error,
                     [&](const json& item, size_t position, SimLogicalDrive* logicalDrive,
                         const std::string& at) {
                         return BuildLogicalDrive(item, position, filler, logicalDrive, at, error);
                     }) &&
           CheckUniqueIds(built->logicalDrives, "logicalDrives", where, error) &&
           BuildList(object, "events", SIZE_MAX, &built->events, where, error,
                     [&](const json& item, size_t, SimEvent* event, const std::string& at) {
                         return BuildEvent(item, event, at, error);
                     });
}

static bool BuildMachineFrom(const json& root, SimMachine* machine, std::string* error)
{
    int64_t filler = 0xEE;
    int64_t failures = 0;
    if (!CheckObject(root, "scenario", error) ||
        !CheckKeys(root, {&DRIVER_LAYOUT}, MACHINE_KEYS, "", error) ||
        (root.contains("fillerByte") &&
         !ReadInteger(root, "fillerByte", 0, 255, &filler, "", error)) ||
        (root.contains("discoveryFailures") &&
         !ReadInteger(root, "discoveryFailures", 0, UINT32_MAX, &failures, "", error)))
        return false;
    machine->filler = (uint8_t)filler;
    machine->discoveryFailures = (uint32_t)failures;
    memset(machine->failingCalls, 0, sizeof(machine->failingCalls));
    return BuildReply(root, DRIVER_LAYOUT, DRIVER_INFO_BYTES, machine->filler, &machine->driverInfo,
                      "", error) &&
           ReadFailingCalls(root, machine->failingCalls, "", error) &&
           BuildList(
               root, "controllers", MAX_CONTROLLERS, &machine->controllers, "", error,
               [&](const json& item, size_t, SimController* controller, const std::string& at) {
                   return BuildController(item, machine->filler, controller, at, error);
               });
}

bool BuildMachine(const std::string& scenarioText, SimMachine* machine, std::string* error)
{
    json root = json::parse(scenarioText, nullptr, false, true);
    if (root.is_discarded())
        return Fail(error, "scenario", "not valid JSON");
    try {
        return BuildMachineFrom(root, machine, error);
    } catch (const std::exception& failure) {
        return Fail(error, "scenario", failure.what());
    }
}
