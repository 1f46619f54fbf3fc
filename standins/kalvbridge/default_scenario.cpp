// The machine served when KALVBRIDGE_SCENARIO names no file: two
// controllers, the first with a battery, an enclosure with sensors, four
// drives and two mirrors (one of them rebuilding onto its second drive),
// the second with two loose drives in one stripe set. No events.
#include "scenario.h"

const char DEFAULT_SCENARIO[] = R"json({
  "driverVersion": [3, 2, 0, 41],
  "controllers": [
    {
      "deviceId": "0x3571", "subsystemId": "0x3571",
      "firmwareVersion": [2, 5, 0, 1114], "page2Version": [1, 3, 0, 7],
      "pathWords": [2, 0, 0, 1],
      "byte316": 2, "byte317": 8, "byte318": 1, "byte320": 1, "byte321": 0,
      "byte322": 1, "byte324": 1, "byte325": 4, "byte329": 1,
      "word332": 524288, "half338": 256, "half348": 64, "half376": 512, "byte378": 2,
      "settingsByte82": 1,
      "buzzer": 0,
      "battery": { "status": 1, "temperature": 3031, "voltage": 12100 },
      "enclosures": [
        { "kind": 1, "sensors": [
            { "type": 5, "value": 34 }, { "type": 5, "value": 36 },
            { "type": 3, "value": 12050 }, { "type": 4, "value": 5020 },
            { "type": 1, "value": 2400 }, { "type": 1, "value": 2350 } ] }
      ],
      "physicalDrives": [
        { "id": 0, "enclosure": 0, "slot": 1, "half10": 1, "byte21": 1,
          "conditionValid": 1, "condition": 0, "sectors": 1953525168,
          "word52": 7200, "half56": 6, "half58": 3, "byte148": 1,
          "text64": "VX2000-1TB", "text110": "K7Q1A00410",
          "settingA": 1, "settingB": 0, "mediaPatrol": { "state": 1 },
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 0,
                         "start": 2048, "sectors": 1953520000 } ] },
        { "id": 1, "enclosure": 0, "slot": 2, "half10": 1, "byte21": 1,
          "conditionValid": 1, "condition": 0, "sectors": 1953525168,
          "word52": 7200, "half56": 6, "half58": 3, "byte148": 1,
          "text64": "VX2000-1TB", "text110": "K7Q1A00977",
          "settingA": 1, "settingB": 0, "mediaPatrol": { "state": 1 },
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 0,
                         "start": 2048, "sectors": 1953520000 } ] },
        { "id": 2, "enclosure": 0, "slot": 3, "half10": 1, "byte21": 1,
          "conditionValid": 1, "condition": 0, "sectors": 3907029168,
          "word52": 7200, "half56": 6, "half58": 3, "byte148": 1,
          "text64": "VX4000-2TB", "text110": "M2R0B13370",
          "settingA": 1, "settingB": 1, "mediaPatrol": { "state": 2, "half92": 17 },
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 1,
                         "start": 2048, "sectors": 3907020000 } ] },
        { "id": 3, "enclosure": 0, "slot": 4, "half10": 1, "byte21": 0,
          "conditionValid": 1, "condition": 1, "sectors": 3907029168,
          "word52": 7200, "half56": 6, "half58": 3, "byte148": 1,
          "text64": "VX4000-2TB", "text110": "M2R0B20512",
          "settingA": 1, "settingB": 1, "mediaPatrol": { "state": 1 },
          "extents": [ { "code": 1, "flags": "0x00400102", "owner": 1,
                         "start": 2048, "sectors": 3907020000 } ] }
      ],
      "logicalDrives": [
        { "id": 0, "name": "System", "level": 1, "activityFlags": "0x02000000",
          "cacheFlags": 1, "sectors": 1953520000, "half38": 2, "word44": 64,
          "byte168": 1, "byte169": 0, "half170": 0, "byte172": 1,
          "settings": { "byte112": 1, "half113": 64 } },
        { "id": 1, "name": "Archive", "level": 1, "activityFlags": "0x01000100",
          "cacheFlags": 8, "sectors": 3907020000, "half38": 2, "word44": 64,
          "byte168": 1, "byte169": 1, "half170": -1, "byte172": 0,
          "settings": { "byte112": 0, "half113": 128 },
          "progress": { "rebuild": { "status": 1, "percent": 42 } } }
      ]
    },
    {
      "deviceId": "0x3320", "subsystemId": "0x0000",
      "firmwareVersion": [2, 5, 0, 1120], "page2Version": [1, 3, 0, 9],
      "pathWords": [3, 0, 0, 2],
      "byte316": 1, "byte317": 4, "byte318": 0, "byte320": 1, "byte321": 0,
      "byte322": 0, "byte324": 1, "byte325": 2, "byte329": 0,
      "word332": 262144, "half338": 128, "half348": 32, "half376": 256, "byte378": 1,
      "settingsByte82": 0,
      "buzzer": 1,
      "physicalDrives": [
        { "id": 0, "half10": 2, "byte21": 1, "conditionValid": 1, "condition": 0,
          "sectors": 976773168, "word52": 5400, "half56": 5, "half58": 2, "byte148": 0,
          "text64": "VX1000-500G", "text110": "P0L3C00042",
          "mediaPatrol": { "state": 1 },
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 0,
                         "start": 2048, "sectors": 976770000 } ] },
        { "id": 1, "half10": 2, "byte21": 1, "conditionValid": 1, "condition": 0,
          "sectors": 976773168, "word52": 5400, "half56": 5, "half58": 2, "byte148": 0,
          "text64": "VX1000-500G", "text110": "P0L3C00043",
          "mediaPatrol": { "state": 1 },
          "extents": [ { "code": 1, "flags": "0x00400001", "owner": 0,
                         "start": 2048, "sectors": 976770000 } ] }
      ],
      "logicalDrives": [
        { "id": 0, "name": "Scratch", "level": 0, "activityFlags": "0x02000000",
          "cacheFlags": 0, "sectors": 1953540000, "half38": 2, "word44": 128,
          "byte168": 0, "byte169": 0, "half170": 0, "byte172": 0,
          "settings": { "byte112": 1, "half113": 128 } }
      ]
    }
  ]
})json";
