// Battery rows: one per controller whose battery reports a status.
#include <stdio.h>

#include "collectors.h"
#include "reply_fields.h"

#define VOLTAGE_BEING_READ 52428

// The battery reports in single-precision steps: tenths of a kelvin and
// millivolts, scaled by the float nearest 0.1 and 0.001.
static const float g_tenth = 0.1f;
static const float g_thousandth = 0.001f;

static void FormatBatteryTemperature(char* text, size_t textBytes, DWORD tenthsKelvin)
{
    int tenthsCelsius = (int)tenthsKelvin - 2731;
    snprintf(text, textBytes, "%2f C", tenthsCelsius * (double)g_tenth);
}

static void FormatBatteryVoltage(char* text, size_t textBytes, DWORD millivolts)
{
    if (millivolts == VOLTAGE_BEING_READ)
        snprintf(text, textBytes, "now reading");
    else
        snprintf(text, textBytes, "%2f V", millivolts * (double)g_thousandth);
}

void CollectBatteries(int controllerCount, BatteryRow* rows, int* rowCount)
{
    int written = 0;
    for (int i = 0; i < controllerCount && written < MAX_BATTERY_ROWS; i++) {
        BYTE reply[I2_BATTERY_INFO_BYTES];
        DWORD status = FetchBatteryStatus(i, reply);
        if (status == 0)
            continue;
        BatteryRow* row = &rows[written++];
        row->rowNumber = written;
        row->controllerNumber = i + 1;
        DWORD state = status & 0x7F;
        row->batteryState = state <= 4 ? (int)state : -1;
        FormatBatteryTemperature(row->temperatureText, sizeof(row->temperatureText), ReadReplyU16(reply, 100));
        FormatBatteryVoltage(row->voltageText, sizeof(row->voltageText), ReadReplyU16(reply, 106));
    }
    *rowCount = written;
}
