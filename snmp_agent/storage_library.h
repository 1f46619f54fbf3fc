#pragma once
// What the agent relies on of the maker's storage-access library. The same
// declarations serve the simulator that stands in for it on test machines.
//
// Unless a declaration says otherwise a call takes (address record, 32-bit
// zero, request record, reply buffer, reply size in bytes). A request
// record is a run of little-endian 32-bit and 16-bit fields, packed, in the
// order each call's comment gives (n: 32-bit, w: 16-bit). List replies start
// with a 64-byte reply header whose 32-bit used length lies at offset 36.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The agent declares the calls as plain functions: its import library
// supplies them from kalvbridge.dll, and a test program may define them
// itself in place of the library.
#ifdef KALVBRIDGE_BUILDING
#define KALVBRIDGE_API __declspec(dllexport)
#else
#define KALVBRIDGE_API
#endif

// 8 bytes by value: the 0-based controller index, every other byte zero.
typedef struct I2Address {
    uint16_t controllerIndex;
    uint8_t reserved[6];
} I2Address;

#define I2_INIT_BLOCK_BYTES 256
#define I2_REPLY_HEADER_BYTES 64
#define I2_REPLY_USED_LENGTH_OFFSET 36

// Reply sizes the agent hands over, in bytes.
#define I2_DRIVER_INFO_BYTES 16
#define I2_DISCOVER_PATH_BYTES 656
#define I2_BUZZER_STATUS_BYTES 1
#define I2_CONTROLLER_INFO_BYTES 432
#define I2_CONTROLLER_INFO_KIND2_BYTES 88
#define I2_CONTROLLER_SETTINGS_BYTES 88
#define I2_BATTERY_INFO_BYTES 112
#define I2_ENCLOSURE_RECORD_BYTES 16
#define I2_ENCLOSURE_STATUS_BYTES 116
#define I2_PHYSICAL_DRIVE_RECORD_BYTES 664
#define I2_PHYSICAL_DRIVE_LIST_BYTES 85056
#define I2_PHYSICAL_DRIVE_SETTINGS_BYTES 80
#define I2_MEDIA_PATROL_PROGRESS_BYTES 124
#define I2_LOGICAL_DRIVE_RECORD_BYTES 200
#define I2_LOGICAL_DRIVE_LIST_BYTES 25664
#define I2_LOGICAL_DRIVE_SETTINGS_BYTES 179
#define I2_REBUILD_PROGRESS_BYTES 88
#define I2_SYNCH_PROGRESS_BYTES 72
#define I2_REDUNDANCY_CHECK_PROGRESS_BYTES 72
#define I2_INIT_PROGRESS_BYTES 524
#define I2_MIGRATION_PROGRESS_BYTES 208
#define I2_EVENT_LIST_BYTES 16576

// Sole argument: the 256-byte initialisation block.
KALVBRIDGE_API int i2_initialize(void* initBlock);
// Sole argument: 1. Returns 0 when discovery succeeded.
KALVBRIDGE_API int i2_discover(int one);
KALVBRIDGE_API int i2_finalize(void);
KALVBRIDGE_API int i2_getNumberOfHBA(uint32_t* count);
// Reply: four 32-bit version parts.
KALVBRIDGE_API int i2_getDriverInfo(I2Address address, uint32_t zero, void* reply);
KALVBRIDGE_API int i2_getDiscoverPath(I2Address address, void* reply, uint32_t replySize);
// Reply: the one status byte. A non-zero result means the state is unknown.
KALVBRIDGE_API int i2_getBuzzerStatus(I2Address address, uint32_t zero, void* statusByte,
                                      uint32_t replySize);
// Request: n controller index, n 1, w kind (0 or 2).
KALVBRIDGE_API int i2_getControllerInfo(I2Address address, uint32_t zero, const void* request,
                                        void* reply, uint32_t replySize);
// Request: n controller index, n 1, w 0.
KALVBRIDGE_API int i2_getControllerSettings(I2Address address, uint32_t zero, const void* request,
                                            void* reply, uint32_t replySize);
// Request: w 0, w 0.
KALVBRIDGE_API int i2_getBatteryInfo(I2Address address, uint32_t zero, const void* request,
                                     void* reply, uint32_t replySize);
// Request: w first enclosure, w count (1 or 16).
KALVBRIDGE_API int i2_getEnclosureInfo(I2Address address, uint32_t zero, const void* request,
                                       void* reply, uint32_t replySize);
// Request: w enclosure, w 1.
KALVBRIDGE_API int i2_getEnclosureStatus(I2Address address, uint32_t zero, const void* request,
                                         void* reply, uint32_t replySize);
// Request: n 0, n 128, w 255.
KALVBRIDGE_API int i2_getPhyDrvInfo(I2Address address, uint32_t zero, const void* request,
                                    void* reply, uint32_t replySize);
// Request: n drive, n 1, w 1.
KALVBRIDGE_API int i2_getPhyDrvSettings(I2Address address, uint32_t zero, const void* request,
                                        void* reply, uint32_t replySize);
// Request: n drive, n 1.
KALVBRIDGE_API int i2_getHBAMediaPatrolProgress(I2Address address, uint32_t zero, const void* request,
                                                void* reply, uint32_t replySize);
// Request: n 0, n 128.
KALVBRIDGE_API int i2_getLogDrvInfo(I2Address address, uint32_t zero, const void* request,
                                    void* reply, uint32_t replySize);
// Request: n array, n 1.
KALVBRIDGE_API int i2_getLogDrvSettings(I2Address address, uint32_t zero, const void* request,
                                        void* reply, uint32_t replySize);
// Request: n array, n 0.
KALVBRIDGE_API int i2_getRebuildProgress(I2Address address, uint32_t zero, const void* request,
                                         void* reply, uint32_t replySize);
// Request: n array.
KALVBRIDGE_API int i2_getLogDrvSynchProgress(I2Address address, uint32_t zero, const void* request,
                                             void* reply, uint32_t replySize);
// Request: n array.
KALVBRIDGE_API int i2_getRedundancyCheckProgress(I2Address address, uint32_t zero, const void* request,
                                                 void* reply, uint32_t replySize);
// Request: n array.
KALVBRIDGE_API int i2_getLogDrvInitProgress(I2Address address, uint32_t zero, const void* request,
                                            void* reply, uint32_t replySize);
// Request: n array, n 1.
KALVBRIDGE_API int i2_getMigrationProgress(I2Address address, uint32_t zero, const void* request,
                                           void* reply, uint32_t replySize);
// Request: n -1, n 10; the library writes the number of records delivered
// into the second field. Reply: the records from byte 64.
KALVBRIDGE_API int i2_getHBAEvents(I2Address address, uint32_t zero, void* request,
                                   void* reply, uint32_t replySize);

#ifdef __cplusplus
}
#endif
