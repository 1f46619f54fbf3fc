// Drives the real ArvexaService.exe under the control manager, installed as
// C:\Storage\bin\ArvexaService.exe with the stand-in server beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::wstring kBinDirectory = L"C:\\Storage\\bin";
const std::wstring kServiceExe = kBinDirectory + L"\\ArvexaService.exe";
const std::wstring kLaunchRecord = kBinDirectory + L"\\Arvexa.launch.txt";
const wchar_t kServiceName[] = L"Vantrel_Arvexa";

const std::string kStartedOk =
    "Service start pending...\nService started successfully.\nService \"Vantrel_Arvexa\" started ok\n";
const std::string kInstallError = "\n Error Installing Service\"Vantrel_Arvexa\"\n";
const std::string kUninstalled = "\n Service \"Vantrel_Arvexa\" UnInstalled Sucessfully\n";
const std::string kUsage =
    "\n Unknown Switch Usage\n\nFor Install use Service1 -i\n\nFor UnInstall use Service1 -d\n";

// The control manager's view of the service; state 0 when it is not installed.
SERVICE_STATUS_PROCESS QueryService()
{
    SERVICE_STATUS_PROCESS status = {};
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    if (service != NULL) {
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (LPBYTE)&status, sizeof(status), &needed);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return status;
}

std::wstring ConfiguredBinaryPath()
{
    std::wstring path;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG);
    DWORD needed = 0;
    QueryServiceConfigW(service, NULL, 0, &needed);
    std::vector<BYTE> block(needed + 1);
    if (needed > 0 && QueryServiceConfigW(service, (QUERY_SERVICE_CONFIGW*)block.data(), needed, &needed))
        path = ((QUERY_SERVICE_CONFIGW*)block.data())->lpBinaryPathName;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return path;
}

// Sends the stop control straight from the test, as an administrator's tool would.
void StopServiceDirectly()
{
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_STOP);
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

void RemoveLeftoverService()
{
    if (QueryService().dwCurrentState == SERVICE_RUNNING)
        StopServiceDirectly();
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, kServiceName, DELETE);
    if (service != NULL) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    WaitUntil([] { return QueryService().dwCurrentState == 0; }, 10000);
    TerminateProcessesNamed(L"ArvexaService.exe");
    TerminateProcessesNamed(L"Arvexa.exe");
}

std::vector<BYTE> SectionBytes(HANDLE section)
{
    std::vector<BYTE> bytes(256);
    void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 256);
    if (view == NULL)
        return {};
    memcpy(bytes.data(), view, 256);
    UnmapViewOfFile(view);
    return bytes;
}

// The record as the server sees it: the 64-unit state text and the run flag.
void ExpectRecord(const std::vector<BYTE>& bytes, const wchar_t* state, DWORD runFlag)
{
    ASSERT_EQ(256u, bytes.size());
    std::vector<BYTE> expected(132, 0);
    memcpy(expected.data(), state, wcslen(state) * sizeof(wchar_t));
    memcpy(expected.data() + 128, &runFlag, 4);
    EXPECT_EQ(expected, std::vector<BYTE>(bytes.begin(), bytes.begin() + 132));
}

// Line 1: the server's command line; line 2: its working directory.
std::vector<std::string> LaunchRecordLines()
{
    std::string text = ReadFileBytes(kLaunchRecord);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class ServiceHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveLeftoverService();
        ASSERT_TRUE(MakeDirectories(kBinDirectory));
        ASSERT_TRUE(CopyBinary(L"ArvexaService.exe", kBinDirectory));
        ASSERT_TRUE(CopyBinary(L"Arvexa.exe", kBinDirectory));
        DeleteFileW(kLaunchRecord.c_str());
    }
    void TearDown() override { RemoveLeftoverService(); }

    static ProgramRun Service(const std::wstring& arguments, const std::wstring& exe = kServiceExe)
    {
        return RunProgram(L"\"" + exe + L"\" " + arguments);
    }
    static void ExpectOutput(const std::string& expected, const std::wstring& arguments)
    {
        ProgramRun run = Service(arguments);
        ASSERT_TRUE(run.finished) << "ArvexaService.exe " << WideToUtf8(arguments) << " did not end";
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(expected, run.output) << "ArvexaService.exe " << WideToUtf8(arguments);
    }
    static bool ServerHasStarted()
    {
        return WaitUntil([] { return LaunchRecordLines().size() == 2; }, 10000);
    }
};

TEST_F(ServiceHost, CommandLineWithoutAControlManagerOperation)
{
    const struct { const wchar_t* arguments; std::string output; } cases[] = {
        {L"", ""},
        {L"-x", kUsage},
        {L"install", kUsage},
        {L"-i-", kUsage},
        {L"-S extra", ""},
    };
    for (const auto& c : cases)
        ExpectOutput(c.output, c.arguments);
    EXPECT_EQ(0u, QueryService().dwCurrentState);
}

TEST_F(ServiceHost, InstallStartsTheServerAndUninstallStopsIt)
{
    ExpectOutput(kStartedOk, L"-i");
    EXPECT_EQ((DWORD)SERVICE_RUNNING, QueryService().dwCurrentState);
    EXPECT_EQ(L"\"" + kServiceExe + L"\" -s", ConfiguredBinaryPath());

    ASSERT_TRUE(ServerHasStarted());
    std::vector<std::string> launch = LaunchRecordLines();
    EXPECT_EQ("C:\\Storage\\bin", launch[1]);
    // Started with no command line of its own.
    EXPECT_EQ(std::string::npos, launch[0].find("-s"));

    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\ArvexaFileMappingObject");
    ASSERT_NE(nullptr, section);
    std::vector<BYTE> bytes = SectionBytes(section);
    ExpectRecord(bytes, L"Running", 1);
    EXPECT_EQ(std::vector<BYTE>(124, 0), std::vector<BYTE>(bytes.begin() + 132, bytes.end()));

    ExpectOutput("Service stopped successfully\n" + kUninstalled, L"-d");
    ExpectRecord(SectionBytes(section), L"Stop", 0);
    CloseHandle(section);
    EXPECT_EQ(0u, QueryService().dwCurrentState);
    EXPECT_EQ(0, CountProcessesNamed(L"Arvexa.exe"));
}

TEST_F(ServiceHost, SwitchesInUpperCaseActLikeLowerCase)
{
    ExpectOutput(kStartedOk, L"-I");
    EXPECT_EQ((DWORD)SERVICE_RUNNING, QueryService().dwCurrentState);
    ExpectOutput("Service stopped successfully\n" + kUninstalled, L"-D");
    EXPECT_EQ(0u, QueryService().dwCurrentState);
}

TEST_F(ServiceHost, SecondInstallFailsAndLeavesTheServiceAlone)
{
    ExpectOutput(kStartedOk, L"-i first");
    ExpectOutput(kInstallError, L"-i second");
    EXPECT_EQ((DWORD)SERVICE_RUNNING, QueryService().dwCurrentState);
    EXPECT_EQ(L"\"" + kServiceExe + L"\" -s first", ConfiguredBinaryPath());
}

TEST_F(ServiceHost, OnlyTheFirstExtraWordReachesTheServer)
{
    const struct { const wchar_t* arguments; const wchar_t* configured; const char* serverLine; } cases[] = {
        {L"-i --port=8443", L" -s --port=8443", "--port=8443"},
        {L"-i first second", L" -s first", "first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.arguments));
        DeleteFileW(kLaunchRecord.c_str());
        ExpectOutput(kStartedOk, c.arguments);
        EXPECT_EQ(L"\"" + kServiceExe + L"\"" + c.configured, ConfiguredBinaryPath());
        ASSERT_TRUE(ServerHasStarted());
        EXPECT_EQ(c.serverLine, LaunchRecordLines()[0]);
        ExpectOutput("Service stopped successfully\n" + kUninstalled, L"-d");
    }
}

TEST_F(ServiceHost, UninstallOfAStoppedService)
{
    ExpectOutput(kStartedOk, L"-i");
    StopServiceDirectly();
    ASSERT_TRUE(WaitUntil([] { return QueryService().dwCurrentState == SERVICE_STOPPED; }, 10000));
    ExpectOutput("Service is already stopped.\n" + kUninstalled, L"-d");
    EXPECT_EQ(0u, QueryService().dwCurrentState);
}

TEST_F(ServiceHost, UninstallOfAnAbsentService)
{
    ExpectOutput("OpenService failed (1060)\n\n Error Stopping Service \"Vantrel_Arvexa\"\n", L"-d");
}

TEST_F(ServiceHost, OverlongCommandLineIsRefused)
{
    // 34 units of quoted path, 3 of " -s", a blank and 222 more make 260: no room for the NUL.
    ExpectOutput(kInstallError, L"-i " + std::wstring(222, L'x'));
    EXPECT_EQ(0u, QueryService().dwCurrentState);
    ExpectOutput(kStartedOk, L"-i " + std::wstring(221, L'x'));
    EXPECT_EQ(260u - 1, ConfiguredBinaryPath().size());
}

TEST_F(ServiceHost, ExistingRecordMutexKeepsTheServerFromStarting)
{
    HANDLE mutex = CreateMutexW(NULL, FALSE, L"Global\\Arvexa");
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 256,
                                        L"Global\\ArvexaFileMappingObject");
    ASSERT_NE(nullptr, mutex);
    ASSERT_NE(nullptr, section);
    void* view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 256);
    memset(view, 0x5A, 256);
    UnmapViewOfFile(view);

    ProgramRun install = Service(L"-i");
    ASSERT_TRUE(install.finished);
    EXPECT_TRUE(WaitUntil([] { return QueryService().dwCurrentState == SERVICE_STOPPED; }, 10000));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, QueryService().dwWin32ExitCode);
    EXPECT_EQ(std::vector<BYTE>(256, 0x5A), SectionBytes(section));
    EXPECT_EQ(0, CountProcessesNamed(L"Arvexa.exe"));
    EXPECT_TRUE(ReadFileBytes(kLaunchRecord).empty());
    CloseHandle(section);
    CloseHandle(mutex);
}

TEST_F(ServiceHost, ServiceOutsideABinFolderReportsWhyItStopped)
{
    const std::wstring otherDirectory = L"C:\\Storage\\other";
    ASSERT_TRUE(MakeDirectories(otherDirectory));
    ASSERT_TRUE(CopyBinary(L"ArvexaService.exe", otherDirectory));
    ProgramRun install = Service(L"-i", otherDirectory + L"\\ArvexaService.exe");
    ASSERT_TRUE(install.finished);
    EXPECT_TRUE(WaitUntil([] { return QueryService().dwCurrentState == SERVICE_STOPPED; }, 10000));
    EXPECT_EQ((DWORD)ERROR_BAD_PATHNAME, QueryService().dwWin32ExitCode);
    EXPECT_EQ(0, CountProcessesNamed(L"Arvexa.exe"));
}

TEST_F(ServiceHost, StopWaitsUntilTheServerHasEnded)
{
    ExpectOutput(kStartedOk, L"-i --linger-ms=2000");
    ASSERT_TRUE(ServerHasStarted());
    HANDLE host = OpenProcessNamed(L"ArvexaService.exe");
    HANDLE server = OpenProcessNamed(L"Arvexa.exe");
    ASSERT_NE(nullptr, host);
    ASSERT_NE(nullptr, server);

    DWORD stopSent = GetTickCount();
    ProgramRun uninstall = Service(L"-d");
    EXPECT_EQ("Service stopped successfully\n" + kUninstalled, uninstall.output);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(host, 20000));
    EXPECT_GE(GetTickCount() - stopSent, 1900u) << "the service host ended before its server";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server, 0));
    CloseHandle(host);
    CloseHandle(server);
}

}  // namespace
