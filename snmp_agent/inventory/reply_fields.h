#pragma once
// Little-endian fields of the storage library's request records and
// replies, and the address record of a controller.
#include <windows.h>

#include "../storage_library.h"

// The address record travels by value as 8 bytes in both builds.
static_assert(sizeof(I2Address) == 8, "address record");

inline DWORD ReadReplyU8(const BYTE* reply, size_t offset)
{
    return reply[offset];
}

inline DWORD ReadReplyU16(const BYTE* reply, size_t offset)
{
    return (DWORD)reply[offset] | ((DWORD)reply[offset + 1] << 8);
}

inline DWORD ReadReplyU32(const BYTE* reply, size_t offset)
{
    return ReadReplyU16(reply, offset) | (ReadReplyU16(reply, offset + 2) << 16);
}

inline ULONGLONG ReadReplyU64(const BYTE* reply, size_t offset)
{
    return (ULONGLONG)ReadReplyU32(reply, offset) | ((ULONGLONG)ReadReplyU32(reply, offset + 4) << 32);
}

inline void WriteRequestU16(BYTE* request, size_t offset, DWORD value)
{
    request[offset] = (BYTE)value;
    request[offset + 1] = (BYTE)(value >> 8);
}

inline void WriteRequestU32(BYTE* request, size_t offset, DWORD value)
{
    WriteRequestU16(request, offset, value & 0xFFFF);
    WriteRequestU16(request, offset + 2, value >> 16);
}

I2Address ControllerAddress(int controllerIndex);

// Copies a NUL-terminated text of the reply into a field; a text that has
// no NUL within sourceBytes, or is longer than the field, is cut.
void CopyReplyText(char* field, size_t fieldBytes, const BYTE* source, size_t sourceBytes);

// Entries of a list reply: the used length of its header, less the header,
// in whole entries, between 0 and the entries the reply has room for.
int CountListEntries(const BYTE* reply, size_t replyBytes, size_t entryBytes);

// "%.2f MB" and "%.f MB" of a size in 512-byte sectors.
void FormatDecimalMegabytes(char* text, size_t textBytes, ULONGLONG sectors);
void FormatBinaryMegabytes(char* text, size_t textBytes, ULONGLONG sectors);
void FormatWholeDecimalMegabytes(char* text, size_t textBytes, ULONGLONG sectors);

// "%d.%d.%d.%d" of four 32-bit words at offset, 4 bytes apart.
void FormatVersionWords(char* text, size_t textBytes, const BYTE* reply, size_t offset);
