#pragma once
// Loads the real KalvSnmp.dll beside the storage library simulator, with a
// scenario file of the test's own, and unloads both after the test.
#include <gtest/gtest.h>

#include <windows.h>
#include <snmp.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "agent_query.h"
#include "test_support.h"

// GetProcAddress hands back a generic pointer; go through void* to the
// export's own type.
template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return (Function)(void*)GetProcAddress(module, name);
}

class AgentDllTest : public ::testing::Test {
protected:
    HMODULE agent = NULL;
    PFNSNMPEXTENSIONINIT init = NULL;
    QueryFunction query = NULL;
    PFNSNMPEXTENSIONTRAP trap = NULL;
    PFNSNMPEXTENSIONCLOSE close = NULL;
    bool initialised = false;
    std::wstring scenarioPath;
    std::wstring callLogPath;

    void SetUp() override
    {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        scenarioPath = std::wstring(folder) + L"agent-scenario-" + std::to_wstring(GetCurrentProcessId()) + L".json";
        callLogPath = std::wstring(folder) + L"agent-calls-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    }

    void TearDown() override { Unload(); }

    void Unload()
    {
        if (initialised)
            close();
        if (agent != NULL)
            FreeLibrary(agent);
        agent = NULL;
        initialised = false;
        DeleteFileW(scenarioPath.c_str());
        DeleteFileW(callLogPath.c_str());
        SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", NULL);
        SetEnvironmentVariableW(L"KALVBRIDGE_CALL_LOG", NULL);
    }

    // The storage library calls made so far, one "name controller result"
    // line each; with skipEvents the event poller's requests are left out.
    std::vector<std::string> LibraryCalls(bool skipEvents = true)
    {
        std::vector<std::string> calls;
        std::istringstream lines(ReadFileBytes(callLogPath));
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!(skipEvents && line.rfind("i2_getHBAEvents", 0) == 0))
                calls.push_back(line);
        }
        return calls;
    }

    void WriteScenario(const std::string& json)
    {
        std::wstring partial = scenarioPath + L".new";
        std::ofstream(partial.c_str(), std::ios::binary) << json;
        MoveFileExW(partial.c_str(), scenarioPath.c_str(), MOVEFILE_REPLACE_EXISTING);
        SetEnvironmentVariableW(L"KALVBRIDGE_SCENARIO", scenarioPath.c_str());
    }

    void Load(const std::string& json)
    {
        WriteScenario(json);
        DeleteFileW(callLogPath.c_str());
        SetEnvironmentVariableW(L"KALVBRIDGE_CALL_LOG", callLogPath.c_str());
        agent = LoadLibraryW((TestBinDirectory() + L"\\KalvSnmp.dll").c_str());
        ASSERT_NE(agent, (HMODULE)NULL);
        init = Export<PFNSNMPEXTENSIONINIT>(agent, "SnmpExtensionInit");
        query = Export<QueryFunction>(agent, "SnmpExtensionQuery");
        trap = Export<PFNSNMPEXTENSIONTRAP>(agent, "SnmpExtensionTrap");
        close = Export<PFNSNMPEXTENSIONCLOSE>(agent, "SnmpExtensionClose");
        ASSERT_TRUE(init && query && trap && close);
    }

    BOOL Init(HANDLE* trapEvent, AsnObjectIdentifier* region, DWORD uptimeReference = GetTickCount())
    {
        BOOL result = init(uptimeReference, trapEvent, region);
        initialised = result != FALSE;
        return result;
    }

    BindingAnswer Get(const Oid& name, AsnInteger32* status)
    {
        return QueryOne(query, SNMP_PDU_GET, name, status);
    }

    AsnInteger32 DiscoveryStatus()
    {
        AsnInteger32 status;
        return Get(Mib({1, 1, 1, 2, 0}), &status).number;
    }

    std::string Text(const Oid& name)
    {
        AsnInteger32 status;
        BindingAnswer answer = Get(name, &status);
        EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR) << OidText(name);
        return answer.text;
    }
};

inline DWORD WINAPI DoNothing(LPVOID)
{
    return 0;
}

inline void RunOneThread()
{
    HANDLE thread = CreateThread(NULL, 0, DoNothing, NULL, 0, NULL);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
}

