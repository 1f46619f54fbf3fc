#pragma once
// The writer's side of the event mailbox, shared by the management-server
// stand-in and post_notice: a notice goes into slot count + 1 under the
// mailbox mutex, with its NUL inside the slot, and count grows by one.
#include <windows.h>

static const size_t NOTICE_MAX_UNITS = 299;

enum PostResult {
    POST_DONE,
    POST_TOO_LONG,   // more than 299 units: no slot can hold it with its NUL
    POST_NO_MAILBOX, // the mapping or the mutex does not exist
    POST_TIMED_OUT,  // the mailbox stayed full for the whole wait
};

// Creates the mapping (60004 bytes) and the mutex, or opens them when they
// exist already. The handles stay open for the life of the process.
BOOL CreateMailbox(void);

// Appends one notice. While all 99 slots are taken it waits for the reader
// to drain them, up to waitMs (INFINITE: without limit).
PostResult PostNotice(const WCHAR* text, DWORD waitMs);

// What went wrong, for a program's own message; empty for POST_DONE.
const char* PostFailureText(PostResult result);
