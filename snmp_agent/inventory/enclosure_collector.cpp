// Enclosure rows: each controller lists up to 16 enclosures, and each
// enclosure's status carries six sensor records.
#include <stdio.h>

#include "collectors.h"
#include "reply_fields.h"

#define ENCLOSURES_PER_LIST 16
#define ENCLOSURE_KIND_IN_ENTRY 14
#define SENSOR_RECORDS 6
#define FIRST_SENSOR_RECORD 68
#define SENSOR_RECORD_BYTES 8

// Type 2 records are not shown.
enum SensorType {
    SENSOR_READING = 1,
    SENSOR_VOLTAGE_1 = 3,
    SENSOR_VOLTAGE_2 = 4,
    SENSOR_TEMPERATURE = 5,
};

static const float g_thousandth = 0.001f;

static void FetchEnclosureList(int controllerIndex, BYTE* reply)
{
    BYTE request[4] = {};
    WriteRequestU16(request, 0, 0);
    WriteRequestU16(request, 2, ENCLOSURES_PER_LIST);
    ZeroMemory(reply, I2_REPLY_HEADER_BYTES + ENCLOSURES_PER_LIST * I2_ENCLOSURE_RECORD_BYTES);
    i2_getEnclosureInfo(ControllerAddress(controllerIndex), 0, request, reply,
                        I2_REPLY_HEADER_BYTES + ENCLOSURES_PER_LIST * I2_ENCLOSURE_RECORD_BYTES);
}

static void FetchEnclosureStatus(int controllerIndex, DWORD enclosureIndex, BYTE* reply)
{
    BYTE request[4] = {};
    WriteRequestU16(request, 0, enclosureIndex);
    WriteRequestU16(request, 2, 1);
    ZeroMemory(reply, I2_ENCLOSURE_STATUS_BYTES);
    i2_getEnclosureStatus(ControllerAddress(controllerIndex), 0, request, reply, I2_ENCLOSURE_STATUS_BYTES);
}

static void FormatVoltage(char* text, size_t textBytes, DWORD millivolts)
{
    snprintf(text, textBytes, "%.2f V", millivolts * (double)g_thousandth);
}

static void FormatTemperature(char* text, size_t textBytes, DWORD celsius)
{
    snprintf(text, textBytes, "%d C", (int)celsius);
}

// Kind 1 keeps the first reading and temperature in the first fields and
// the last later one in the second fields. Kind 2 has one reading and one
// temperature: the last record of each counts, and the second fields are
// not available.
static void ApplySensors(const BYTE* status, EnclosureRow* row, BOOL hasSecondFields)
{
    BOOL readingSeen = FALSE;
    BOOL temperatureSeen = FALSE;
    for (int s = 0; s < SENSOR_RECORDS; s++) {
        size_t record = FIRST_SENSOR_RECORD + s * SENSOR_RECORD_BYTES;
        DWORD value = ReadReplyU32(status, record + 4);
        switch (ReadReplyU8(status, record)) {
        case SENSOR_READING:
            if (hasSecondFields && readingSeen)
                row->sensorReading2 = (int)value;
            else
                row->sensorReading1 = (int)value;
            readingSeen = TRUE;
            break;
        case SENSOR_VOLTAGE_1:
            FormatVoltage(row->voltageText1, sizeof(row->voltageText1), value);
            break;
        case SENSOR_VOLTAGE_2:
            FormatVoltage(row->voltageText2, sizeof(row->voltageText2), value);
            break;
        case SENSOR_TEMPERATURE:
            if (hasSecondFields && temperatureSeen)
                FormatTemperature(row->temperatureText2, sizeof(row->temperatureText2), value);
            else
                FormatTemperature(row->temperatureText1, sizeof(row->temperatureText1), value);
            temperatureSeen = TRUE;
            break;
        }
    }
    if (!hasSecondFields) {
        snprintf(row->temperatureText2, sizeof(row->temperatureText2), "-1");
        row->sensorReading2 = -1;
    }
}

static void MarkSensorsUnavailable(EnclosureRow* row)
{
    row->enclosureKind = -1;
    snprintf(row->voltageText1, sizeof(row->voltageText1), "-1");
    snprintf(row->voltageText2, sizeof(row->voltageText2), "-1");
    snprintf(row->temperatureText1, sizeof(row->temperatureText1), "-1");
    snprintf(row->temperatureText2, sizeof(row->temperatureText2), "-1");
    row->sensorReading1 = -1;
    row->sensorReading2 = -1;
}

static void CollectEnclosure(int controllerIndex, DWORD enclosureIndex, DWORD kind, EnclosureRow* row)
{
    BYTE status[I2_ENCLOSURE_STATUS_BYTES];
    row->controllerIndex = controllerIndex;
    row->enclosureIndex = (int)enclosureIndex;
    FetchEnclosureStatus(controllerIndex, enclosureIndex, status);
    if (kind == 1) {
        row->enclosureKind = 1;
        ApplySensors(status, row, TRUE);
    } else if (kind == 2) {
        row->enclosureKind = 2;
        ApplySensors(status, row, FALSE);
    } else {
        MarkSensorsUnavailable(row);
    }
}

void CollectEnclosures(int controllerCount, EnclosureRow* rows, int* rowCount)
{
    int written = 0;
    for (int i = 0; i < controllerCount; i++) {
        BYTE list[I2_REPLY_HEADER_BYTES + ENCLOSURES_PER_LIST * I2_ENCLOSURE_RECORD_BYTES];
        FetchEnclosureList(i, list);
        // The first empty entry ends the controller's list.
        for (DWORD j = 0; j < ENCLOSURES_PER_LIST && written < MAX_ENCLOSURE_ROWS; j++) {
            DWORD kind = ReadReplyU8(list, I2_REPLY_HEADER_BYTES + j * I2_ENCLOSURE_RECORD_BYTES + ENCLOSURE_KIND_IN_ENTRY);
            if (kind == 0)
                break;
            EnclosureRow* row = &rows[written++];
            row->rowNumber = written;
            CollectEnclosure(i, j, kind, row);
        }
    }
    *rowCount = written;
}
