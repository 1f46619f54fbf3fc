#include <gtest/gtest.h>

#include <string>

#include "notice.h"

namespace {

TEST(ControlNotices, MatchTheWholeTextIgnoringAsciiCaseOnly)
{
    const struct { const wchar_t* notice; BOOL start; BOOL terminate; } cases[] = {
        {L"#1Start Arvexa", TRUE, FALSE},
        {L"#1START ARVEXA", TRUE, FALSE},
        {L"#1sTaRt aRvExA", TRUE, FALSE},
        {L"#1Terminate Arvexa", FALSE, TRUE},
        {L"#1TERMINATE ARVEXA", FALSE, TRUE},
        {L"#1Terminate Arvexa ", FALSE, FALSE},
        {L"#1Terminate Arvex", FALSE, FALSE},
        {L" #1Terminate Arvexa", FALSE, FALSE},
        {L"#2Terminate Arvexa", FALSE, FALSE},
        // U+0130 and U+212A fold to ASCII letters in some tables; here they must not.
        {L"#1Termİnate Arvexa", FALSE, FALSE},
        {L"#1Start \x212A" L"rvexa", FALSE, FALSE},
        {L"", FALSE, FALSE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.start, IsStartNotice(c.notice)) << c.notice;
        EXPECT_EQ(c.terminate, IsTerminateNotice(c.notice)) << c.notice;
    }
}

TEST(NoticeSeverity, FollowsTheHashNumberRule)
{
    const struct { const wchar_t* notice; int severity; const wchar_t* message; } cases[] = {
        {L"#2abc", 2, L"abc"},
        {L"#12abc", 12, L"2abc"},
        {L"# 3abc", 3, L"3abc"},
        {L"abc", 1, L"abc"},
        {L"#", 1, L"#"},
        {L"#1", 1, L""},
        {L"#3Disk 2 failed", 3, L"Disk 2 failed"},
        {L"#0zero", 0, L"zero"},
        {L"#-5x", -5, L"5x"},
        {L"#+7x", 7, L"7x"},
        {L"#\t\n9x", 9, L"\n9x"},
        {L"#-x", 1, L"#-x"},
        {L"#x2", 1, L"#x2"},
        {L"##2", 1, L"##2"},
        {L"", 1, L""},
        {L"#4294967297", 1, L"294967297"},
    };
    for (const auto& c : cases) {
        const WCHAR* message = nullptr;
        EXPECT_EQ(c.severity, ParseNoticeSeverity(c.notice, &message)) << c.notice;
        EXPECT_EQ(std::wstring(c.message), std::wstring(message)) << c.notice;
    }
}

}  // namespace
