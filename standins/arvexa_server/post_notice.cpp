// post_notice "TEXT": appends one notice to the event mailbox of the running
// management-server stand-in, as the management server itself would. Waits
// while the mailbox is full. Exit code 0 when posted.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "mailbox_writer.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: post_notice \"TEXT\"\n");
        return 1;
    }
    switch (PostNotice(argv[1], INFINITE)) {
    case POST_DONE:
        return 0;
    case POST_TOO_LONG:
        fprintf(stderr, "post_notice: the notice has %u units; a mailbox slot holds at most %u\n",
                (unsigned)wcslen(argv[1]), (unsigned)NOTICE_MAX_UNITS);
        return 2;
    case POST_NO_MAILBOX:
        fprintf(stderr, "post_notice: there is no event mailbox; start the management server first\n");
        return 3;
    default:
        fprintf(stderr, "post_notice: the mailbox stayed full\n");
        return 4;
    }
}
