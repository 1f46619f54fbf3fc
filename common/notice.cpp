#include "notice.h"

static WCHAR AsciiLower(WCHAR unit)
{
    return (unit >= L'A' && unit <= L'Z') ? (WCHAR)(unit + (L'a' - L'A')) : unit;
}

BOOL MatchesControlNotice(const WCHAR* notice, const WCHAR* controlNotice)
{
    for (;; notice++, controlNotice++) {
        if (AsciiLower(*notice) != AsciiLower(*controlNotice))
            return FALSE;
        if (*notice == L'\0')
            return TRUE;
    }
}

BOOL IsStartNotice(const WCHAR* notice)
{
    return MatchesControlNotice(notice, START_NOTICE);
}

BOOL IsTerminateNotice(const WCHAR* notice)
{
    return MatchesControlNotice(notice, TERMINATE_NOTICE);
}

// The white space the C library's formatted input skips.
static BOOL IsInputSpace(WCHAR unit)
{
    return unit == L' ' || (unit >= L'\t' && unit <= L'\r');
}

// Reads "%d" at text as the formatted-input functions do: the value wraps
// modulo 2^32. FALSE when no digit follows the optional sign.
static BOOL ReadDecimal(const WCHAR* text, int* value)
{
    while (IsInputSpace(*text))
        text++;
    BOOL negative = *text == L'-';
    if (*text == L'-' || *text == L'+')
        text++;
    if (*text < L'0' || *text > L'9')
        return FALSE;
    unsigned int magnitude = 0;
    for (; *text >= L'0' && *text <= L'9'; text++)
        magnitude = magnitude * 10u + (unsigned int)(*text - L'0');
    *value = (int)(negative ? 0u - magnitude : magnitude);
    return TRUE;
}

int ParseNoticeSeverity(const WCHAR* notice, const WCHAR** message)
{
    int severity;
    if (notice[0] == L'#' && ReadDecimal(notice + 1, &severity)) {
        *message = notice + 2;
        return severity;
    }
    *message = notice;
    return NOTICE_SEVERITY_INFORMATION;
}
