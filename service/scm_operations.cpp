#include "scm_operations.h"

#include <stdio.h>

#include "command_line.h"
#include "service_identity.h"

#if !defined(_WIN64)
static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36, "status snapshot layout");
#endif

static const DWORD STOP_LIMIT_MS = 30000;

static BOOL QuerySnapshot(SC_HANDLE service, SERVICE_STATUS_PROCESS* snapshot)
{
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (LPBYTE)snapshot,
                                sizeof(*snapshot), &needed);
}

BOOL InstallArvexaService(const WCHAR* extraArgument)
{
    WCHAR exePath[COMMAND_LINE_UNITS] = {0};
    WCHAR commandLine[COMMAND_LINE_UNITS] = {0};
    DWORD pathLength = GetModuleFileNameW(NULL, exePath, COMMAND_LINE_UNITS);
    // A path that filled the whole buffer was cut; installing it would start a wrong file.
    if (pathLength == 0 || pathLength >= COMMAND_LINE_UNITS)
        return FALSE;
    if (!BuildConfiguredCommandLine(exePath, extraArgument, commandLine, COMMAND_LINE_UNITS))
        return FALSE;

    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL)
        return FALSE;
    SC_HANDLE service = CreateServiceW(manager, ARVEXA_SERVICE_NAME, ARVEXA_DISPLAY_NAME,
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine,
                                       NULL /* load-order group */, NULL /* tag */,
                                       NULL /* dependencies */, NULL /* account */,
                                       NULL /* password */);
    if (service == NULL) {
        CloseServiceHandle(manager);
        return FALSE;
    }
    SERVICE_DESCRIPTIONW description;
    description.lpDescription = (LPWSTR)ARVEXA_DESCRIPTION;
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return TRUE;
}

// Waits while a stop is pending; FALSE when a query fails or the stop stalls.
static BOOL WaitForPendingStop(SC_HANDLE service, SERVICE_STATUS_PROCESS* snapshot)
{
    while (snapshot->dwCurrentState == SERVICE_STOP_PENDING) {
        DWORD startTick = GetTickCount();
        DWORD oldCheckPoint = snapshot->dwCheckPoint;
        Sleep(WaitInterval(snapshot->dwWaitHint));
        if (!QuerySnapshot(service, snapshot))
            return FALSE;
        if (snapshot->dwCheckPoint > oldCheckPoint)
            continue;
        if (MoreThanElapsed(startTick, GetTickCount(), snapshot->dwWaitHint)) {
            printf("Timeout waiting for service to stop\n");
            return FALSE;
        }
    }
    return TRUE;
}

// Polls while the start is pending, as long as the check point moves on.
static void WaitForPendingStart(SC_HANDLE service, SERVICE_STATUS_PROCESS* snapshot)
{
    DWORD startTick = GetTickCount();
    DWORD oldCheckPoint = snapshot->dwCheckPoint;
    while (snapshot->dwCurrentState == SERVICE_START_PENDING) {
        Sleep(WaitInterval(snapshot->dwWaitHint));
        if (!QuerySnapshot(service, snapshot))
            break;
        if (snapshot->dwCheckPoint > oldCheckPoint) {
            startTick = GetTickCount();
            oldCheckPoint = snapshot->dwCheckPoint;
        } else if (MoreThanElapsed(startTick, GetTickCount(), snapshot->dwWaitHint)) {
            break;
        }
    }
}

static BOOL StartOpenedService(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS snapshot;
    if (!QuerySnapshot(service, &snapshot))
        return FALSE;
    if (snapshot.dwCurrentState != SERVICE_STOPPED && snapshot.dwCurrentState != SERVICE_STOP_PENDING)
        return TRUE;
    if (!WaitForPendingStop(service, &snapshot))
        return FALSE;
    if (!StartServiceW(service, 0, NULL))
        return FALSE;
    printf("Service start pending...\n");
    if (!QuerySnapshot(service, &snapshot))
        return FALSE;
    WaitForPendingStart(service, &snapshot);
    if (snapshot.dwCurrentState == SERVICE_RUNNING) {
        printf("Service started successfully.\n");
        return TRUE;
    }
    printf(" Service not started. \n");
    printf(" Current State: %d\n", (int)snapshot.dwCurrentState);
    printf(" Exit Code: %d\n", (int)snapshot.dwWin32ExitCode);
    printf(" Check Point: %d\n", (int)snapshot.dwCheckPoint);
    printf(" Wait Hint: %d\n", (int)snapshot.dwWaitHint);
    return FALSE;
}

// Opens the control manager and the service with full access, runs the
// operation on it and closes both; FALSE when either cannot be opened.
static BOOL RunOnOpenedService(BOOL (*operation)(SC_HANDLE service))
{
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL)
        return FALSE;
    SC_HANDLE service = OpenServiceW(manager, ARVEXA_SERVICE_NAME, SERVICE_ALL_ACCESS);
    BOOL succeeded = service != NULL && operation(service);
    if (service != NULL)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return succeeded;
}

BOOL StartArvexaService(void)
{
    return RunOnOpenedService(StartOpenedService);
}

// Queries again, printing the failure; FALSE when the query failed.
static BOOL RequerySnapshot(SC_HANDLE service, SERVICE_STATUS_PROCESS* snapshot)
{
    if (QuerySnapshot(service, snapshot))
        return TRUE;
    printf("QueryServiceStatusEx failed (%d)\n", (int)GetLastError());
    return FALSE;
}

static BOOL StopOpenedService(SC_HANDLE service, DWORD t0)
{
    SERVICE_STATUS_PROCESS snapshot;
    if (!RequerySnapshot(service, &snapshot))
        return FALSE;
    if (snapshot.dwCurrentState == SERVICE_STOPPED) {
        printf("Service is already stopped.\n");
        return TRUE;
    }
    while (snapshot.dwCurrentState == SERVICE_STOP_PENDING) {
        printf("Service stop pending...\n");
        Sleep(snapshot.dwWaitHint);
        if (!RequerySnapshot(service, &snapshot))
            return FALSE;
        if (snapshot.dwCurrentState == SERVICE_STOPPED) {
            printf("Service stopped successfully.\n");
            return TRUE;
        }
        if (MoreThanElapsed(t0, GetTickCount(), STOP_LIMIT_MS)) {
            printf("Service stop timed out.\n");
            return FALSE;
        }
    }
    if (!ControlService(service, SERVICE_CONTROL_STOP, (LPSERVICE_STATUS)&snapshot)) {
        printf("ControlService failed (%d)\n", (int)GetLastError());
        return FALSE;
    }
    while (snapshot.dwCurrentState != SERVICE_STOPPED) {
        Sleep(snapshot.dwWaitHint);
        if (!RequerySnapshot(service, &snapshot))
            return FALSE;
        if (snapshot.dwCurrentState == SERVICE_STOPPED)
            break;
        if (MoreThanElapsed(t0, GetTickCount(), STOP_LIMIT_MS)) {
            printf("Wait timed out\n");
            return FALSE;
        }
    }
    printf("Service stopped successfully\n");
    return TRUE;
}

BOOL StopArvexaService(void)
{
    DWORD t0 = GetTickCount();
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL) {
        printf("OpenSCManager failed (%d)\n", (int)GetLastError());
        return FALSE;
    }
    SC_HANDLE service = OpenServiceW(manager, ARVEXA_SERVICE_NAME,
                                     SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service == NULL) {
        printf("OpenService failed (%d)\n", (int)GetLastError());
        CloseServiceHandle(manager);
        return FALSE;
    }
    BOOL stopped = StopOpenedService(service, t0);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return stopped;
}

static BOOL DeleteOpenedService(SC_HANDLE service)
{
    return DeleteService(service);
}

BOOL RemoveArvexaService(void)
{
    return RunOnOpenedService(DeleteOpenedService);
}

void PrintUsage(void)
{
    fputws(L"\n Unknown Switch Usage\n\nFor Install use Service1 -i\n\nFor UnInstall use Service1 -d\n",
           stdout);
}
