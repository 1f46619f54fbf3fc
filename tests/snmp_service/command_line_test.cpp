// snmp_service.exe's command line as a user meets it: help, refusals,
// start-up failures, and a clean stop through --stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <regex>
#include <string>

#include "test_support.h"

namespace {

std::wstring ServiceExe()
{
    return L"\"" + TestBinDirectory() + L"\\snmp_service.exe\"";
}

ProgramRun RunService(const std::wstring& arguments, DWORD timeoutMs = 30000)
{
    return RunProgram(ServiceExe() + L" " + arguments, timeoutMs);
}

// A port for this run: varies from run to run so that runs can coexist.
int PickPort()
{
    return 20000 + (int)((GetCurrentProcessId() * 7919u + GetTickCount()) % 40000u);
}

std::wstring ListenOn(int port)
{
    return L"--listen 127.0.0.1:" + std::to_wstring(port);
}

TEST(ServiceCommandLine, HelpShowsTheUsage)
{
    ProgramRun run = RunService(L"--help");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(0u, run.output.find("Usage: snmp_service.exe --agent DLL [--agent DLL ...] [options]\n"));
    for (const char* option : { "--listen ADDRESS:PORT", "--community READ", "--write-community WRITE",
                                "--trap-to ADDRESS:PORT", "--trap-version 1|2c", "--region OID", "--stop" })
        EXPECT_NE(std::string::npos, run.output.find(option)) << option;
}

struct Refusal {
    const wchar_t* arguments;
    const char* reason;
};

TEST(ServiceCommandLine, RefusesBadArgumentsWithAReason)
{
    std::wstring seventeen;
    for (int i = 0; i < 17; i++)
        seventeen += L"--agent a.dll ";
    const Refusal cases[] = {
        { L"", "no --agent given" },
        { L"--agent", "--agent needs a value" },
        { L"--agent \"\"", "--agent needs a file name" },
        { L"--agent a.dll --bogus", "unknown argument \"--bogus\"" },
        { L"--agent a.dll --listen 127.0.0.1", "bad address \"127.0.0.1\"" },
        { L"--agent a.dll --listen 127.0.0.1:0", "bad address \"127.0.0.1:0\"" },
        { L"--agent a.dll --listen 127.0.0.1:65536", "bad address \"127.0.0.1:65536\"" },
        { L"--agent a.dll --listen 256.0.0.1:161", "bad address \"256.0.0.1:161\"" },
        { L"--agent a.dll --listen 127.0.0.1:161x", "bad address \"127.0.0.1:161x\"" },
        { L"--agent a.dll --listen 127.0.0.1:1 --listen 127.0.0.1:2", "--listen given twice" },
        { L"--agent a.dll --community \"\"", "bad community \"\"" },
        { L"--agent a.dll --community a --community b", "--community given twice" },
        { L"--agent a.dll --trap-version 2c", "--trap-version must follow a --trap-to" },
        { L"--agent a.dll --trap-to 127.0.0.1:162 --trap-version 3", "bad trap version \"3\"" },
        { L"--agent a.dll --trap-to 127.0.0.1:162 --trap-version 1 --trap-version 2c",
          "--trap-version given twice for one --trap-to" },
        { L"--region 1.3.6.1 --agent a.dll", "--region must follow an --agent" },
        { L"--agent a.dll --region 1", "bad region \"1\"" },
        { L"--agent a.dll --region 1.3.x", "bad region \"1.3.x\"" },
        { L"--agent a.dll --region 1.3.4294967296", "bad region \"1.3.4294967296\"" },
        { seventeen.c_str(), "too many agents (at most 16)" },
    };
    for (const Refusal& refusal : cases) {
        ProgramRun run = RunService(refusal.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(2u, run.exitCode) << refusal.reason;
        EXPECT_EQ(0u, run.output.rfind("snmp_service: " + std::string(refusal.reason), 0)) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("Try snmp_service.exe --help.")) << refusal.reason;
    }
}

TEST(ServiceCommandLine, StartUpFailuresEndWithCodeOne)
{
    int port = PickPort();
    ProgramRun missing = RunService(L"--agent no_such_agent.dll " + ListenOn(port));
    EXPECT_EQ(1u, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.output.find("cannot load agent \"no_such_agent.dll\"")) << missing.output;

    ProgramRun notAgent = RunService(L"--agent kernel32.dll " + ListenOn(port));
    EXPECT_EQ(1u, notAgent.exitCode);
    EXPECT_NE(std::string::npos, notAgent.output.find("\"kernel32.dll\" is not an extension agent")) << notAgent.output;

    ProgramRun noInstance = RunService(L"--stop " + ListenOn(port));
    EXPECT_EQ(1u, noInstance.exitCode);
    EXPECT_NE(std::string::npos, noInstance.output.find("no instance serves 127.0.0.1:" + std::to_string(port)));
}

std::string ReadLog(const std::wstring& path)
{
    std::string bytes = ReadFileBytes(path);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    return bytes;
}

TEST(ServiceCommandLine, StopClosesEveryAgentAndReportsCounts)
{
    int port = PickPort() + 1;
    std::wstring log = TestBinDirectory() + L"\\probe_stop.log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"PROBE_AGENT_LOG", log.c_str());
    std::future<ProgramRun> service = std::async(std::launch::async, [&] {
        return RunService(L"--agent snmp_probe_agent.dll " + ListenOn(port), 60000);
    });
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(log).find("init") != std::string::npos; }, 20000));

    // A second instance cannot take the same address.
    ProgramRun second = RunService(L"--agent snmp_probe_agent.dll " + ListenOn(port));
    EXPECT_EQ(1u, second.exitCode);
    EXPECT_NE(std::string::npos, second.output.find("cannot listen on 127.0.0.1:" + std::to_string(port))) << second.output;

    ProgramRun stop = RunService(L"--stop " + ListenOn(port));
    EXPECT_EQ(0u, stop.exitCode) << stop.output;
    ProgramRun run = service.get();
    SetEnvironmentVariableW(L"PROBE_AGENT_LOG", NULL);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("region 1.3.6.1.3.7777 served by snmp_probe_agent.dll")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("region 1.3.6.1.3.7778 served by snmp_probe_agent.dll")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("answered 0 requests, sent 0 traps; dropped 0 datagrams")) << run.output;
    // One initialisation and one close: the refused second instance never
    // loaded its agent.
    std::string lines = ReadLog(log);
    EXPECT_TRUE(std::regex_match(lines, std::regex("init [0-9]+\nclose\n"))) << lines;
}

} // namespace
