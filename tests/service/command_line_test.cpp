#include <gtest/gtest.h>

#include <string>

#include "command_line.h"

namespace {

struct CommandLineCase {
    const wchar_t* exePath;
    const wchar_t* extraArgument;
    size_t bufferUnits;
    BOOL fits;
    const wchar_t* expected;
};

TEST(ConfiguredCommandLine, BuildsQuotedPathSwitchAndOptionalArgument)
{
    const std::wstring path200(200, L'p');
    const std::wstring arg250(250, L'a');
    // "\"" + 200 + "\" -s" is 205 units; a blank and 53 more make 259, the most that fits 260.
    const std::wstring arg53(53, L'b');
    const std::wstring arg54(54, L'b');
    const CommandLineCase cases[] = {
        {L"C:\\Storage\\bin\\ArvexaService.exe", nullptr, 260, TRUE,
         L"\"C:\\Storage\\bin\\ArvexaService.exe\" -s"},
        {L"C:\\Storage\\bin\\ArvexaService.exe", L"-port 80", 260, TRUE,
         L"\"C:\\Storage\\bin\\ArvexaService.exe\" -s -port 80"},
        {L"C:\\Storage\\bin\\ArvexaService.exe", L"", 260, TRUE,
         L"\"C:\\Storage\\bin\\ArvexaService.exe\" -s "},
        {path200.c_str(), arg53.c_str(), 260, TRUE, nullptr},
        {path200.c_str(), arg54.c_str(), 260, FALSE, L""},
        {L"C:\\x.exe", arg250.c_str(), 260, FALSE, L""},
        {L"C:\\x.exe", nullptr, 13, FALSE, L""},
        {L"C:\\x.exe", nullptr, 14, TRUE, L"\"C:\\x.exe\" -s"},
    };
    for (const CommandLineCase& c : cases) {
        WCHAR buffer[300];
        wmemset(buffer, L'#', 300);
        EXPECT_EQ(c.fits, BuildConfiguredCommandLine(c.exePath, c.extraArgument, buffer, c.bufferUnits))
            << "buffer " << c.bufferUnits;
        if (c.expected != nullptr)
            EXPECT_EQ(std::wstring(c.expected), std::wstring(buffer));
        else
            EXPECT_EQ(259u, wcslen(buffer));
        // Nothing is written past the buffer.
        for (size_t i = c.bufferUnits; i < 300; i++)
            ASSERT_EQ(L'#', buffer[i]) << "written at " << i;
    }
}

struct DirectoryCase {
    const wchar_t* commandLine;
    BOOL found;
    const wchar_t* directory;
};

TEST(InstallDirectory, IsCutBeforeTheQuotedServiceExecutable)
{
    const DirectoryCase cases[] = {
        {L"\"C:\\Storage\\bin\\ArvexaService.exe\" -s", TRUE, L"C:\\Storage"},
        {L"\"D:\\Program Files\\Vantrel\\bin\\ArvexaService.exe\" -s -x", TRUE, L"D:\\Program Files\\Vantrel"},
        {L"C:\\Storage\\bin\\ArvexaService.exe\" -s", TRUE, L"C:\\Storage"},
        {L"\"\\bin\\ArvexaService.exe\" -s", TRUE, L""},
        {L"\"C:\\a\\bin\\ArvexaService.exe\" -s \"C:\\b\\bin\\ArvexaService.exe\"", TRUE, L"C:\\a"},
        {L"\"C:\\Storage\\bin\\arvexaservice.exe\" -s", FALSE, L""},
        {L"\"C:\\Storage\\sbin\\ArvexaService.exe\" -s", FALSE, L""},
        {L"\"C:\\Storage\\other\\ArvexaService.exe\" -s", FALSE, L""},
        {L"\"C:\\Storage\\bin\\ArvexaService.exe -s", FALSE, L""},
        {L"\"C:\\Storage\\bin\\Service.exe\" -s", FALSE, L""},
        {L"", FALSE, L""},
    };
    for (const DirectoryCase& c : cases) {
        WCHAR directory[260];
        wmemset(directory, L'#', 260);
        EXPECT_EQ(c.found, DeriveInstallDirectory(c.commandLine, directory, 260)) << c.commandLine;
        EXPECT_EQ(std::wstring(c.directory), std::wstring(directory)) << c.commandLine;
    }
}

TEST(InstallDirectory, RefusesADirectoryLongerThanItsBuffer)
{
    WCHAR directory[16];
    wmemset(directory, L'#', 16);
    EXPECT_FALSE(DeriveInstallDirectory(L"\"C:\\a-long-folder\\bin\\ArvexaService.exe\" -s", directory, 10));
    EXPECT_EQ(L'\0', directory[0]);
    EXPECT_EQ(L'#', directory[10]);
    EXPECT_TRUE(DeriveInstallDirectory(L"\"C:\\abcdef\\bin\\ArvexaService.exe\" -s", directory, 10));
    EXPECT_EQ(std::wstring(L"C:\\abcdef"), std::wstring(directory));
}

TEST(WaitInterval, IsATenthOfTheHintKeptBetweenOneAndTenSeconds)
{
    const struct { DWORD hint; DWORD interval; } cases[] = {
        {0, 1000}, {9999, 1000}, {10000, 1000}, {10009, 1000}, {10010, 1001},
        {50000, 5000}, {100000, 10000}, {100010, 10000}, {0xFFFFFFFFu, 10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.interval, WaitInterval(c.hint)) << "hint " << c.hint;
}

TEST(TickArithmetic, ComparesElapsedTimeAcrossTheWrap)
{
    const struct { DWORD start; DWORD now; DWORD limit; BOOL more; } cases[] = {
        {1000, 31000, 30000, FALSE},
        {1000, 31001, 30000, TRUE},
        {0xFFFFFF00u, 0x00000100u, 0x1FF, TRUE},
        {0xFFFFFF00u, 0x00000100u, 0x200, FALSE},
        {0xFFFFFFFFu, 0x00000000u, 0, TRUE},
        {5, 5, 0, FALSE},
        {0, 0xFFFFFFFFu, 0xFFFFFFFEu, TRUE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.more, MoreThanElapsed(c.start, c.now, c.limit))
            << c.start << " -> " << c.now << " limit " << c.limit;
}

}  // namespace
