#include "reply_fields.h"

#include <stdio.h>
#include <string.h>

I2Address ControllerAddress(int controllerIndex)
{
    I2Address address;
    ZeroMemory(&address, sizeof(address));
    address.controllerIndex = (uint16_t)controllerIndex;
    return address;
}

void CopyReplyText(char* field, size_t fieldBytes, const BYTE* source, size_t sourceBytes)
{
    size_t length = 0;
    while (length < sourceBytes && length + 1 < fieldBytes && source[length] != 0)
        length++;
    memcpy(field, source, length);
    field[length] = '\0';
}

int CountListEntries(const BYTE* reply, size_t replyBytes, size_t entryBytes)
{
    int usedLength = (int)ReadReplyU32(reply, I2_REPLY_USED_LENGTH_OFFSET);
    int entries = (usedLength - I2_REPLY_HEADER_BYTES) / (int)entryBytes;
    int room = (int)((replyBytes - I2_REPLY_HEADER_BYTES) / entryBytes);
    if (entries < 0)
        return 0;
    return entries < room ? entries : room;
}

static double SectorsToBytes(ULONGLONG sectors)
{
    return (double)(sectors * 512);
}

void FormatDecimalMegabytes(char* text, size_t textBytes, ULONGLONG sectors)
{
    snprintf(text, textBytes, "%.2f MB", SectorsToBytes(sectors) * 1e-6);
}

void FormatBinaryMegabytes(char* text, size_t textBytes, ULONGLONG sectors)
{
    snprintf(text, textBytes, "%.2f MB", SectorsToBytes(sectors) / 1048576.0);
}

void FormatWholeDecimalMegabytes(char* text, size_t textBytes, ULONGLONG sectors)
{
    snprintf(text, textBytes, "%.f MB", SectorsToBytes(sectors) * 1e-6);
}

void FormatVersionWords(char* text, size_t textBytes, const BYTE* reply, size_t offset)
{
    snprintf(text, textBytes, "%d.%d.%d.%d", (int)ReadReplyU32(reply, offset),
             (int)ReadReplyU32(reply, offset + 4), (int)ReadReplyU32(reply, offset + 8),
             (int)ReadReplyU32(reply, offset + 12));
}
