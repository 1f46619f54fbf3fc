#include "service_runtime.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "command_line.h"
#include "server_record.h"
#include "service_identity.h"

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOW) == 68, "startup information layout");
#endif

static const DWORD KEEP_ALIVE_SLEEP_MS = 1500;

static WCHAR* g_savedServerArgument = NULL;
static WCHAR g_installDirectory[COMMAND_LINE_UNITS];
static SERVICE_STATUS g_status;
static SERVICE_STATUS_HANDLE g_statusHandle = NULL;
static volatile LONG g_keepAlive = 1;
static HANDLE g_section = NULL;
static HANDLE g_recordMutex = NULL;
static PROCESS_INFORMATION g_server;
// Set once a stop sequence has run to its end; NULL until a stop begins.
static HANDLE g_stopFinished = NULL;

void SaveServerArgument(const WCHAR* argument)
{
    g_savedServerArgument = argument != NULL ? _wcsdup(argument) : NULL;
}

static void ReadConfiguredCommandLine(WCHAR* buffer)
{
    ZeroMemory(buffer, CONFIG_READ_UNITS * sizeof(WCHAR));
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL)
        return;
    SC_HANDLE service = OpenServiceW(manager, ARVEXA_SERVICE_NAME, SERVICE_QUERY_CONFIG);
    if (service != NULL) {
        DWORD needed = 0;
        QueryServiceConfigW(service, NULL, 0, &needed);
        QUERY_SERVICE_CONFIGW* config = needed > 0 ? (QUERY_SERVICE_CONFIGW*)malloc(needed) : NULL;
        if (config != NULL && QueryServiceConfigW(service, config, needed, &needed)
            && config->lpBinaryPathName != NULL)
            wcsncpy(buffer, config->lpBinaryPathName, CONFIG_READ_UNITS - 1);
        free(config);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

static void ReportState(DWORD state, DWORD win32ExitCode)
{
    g_status.dwCurrentState = state;
    g_status.dwWin32ExitCode = win32ExitCode;
    g_status.dwCheckPoint = 0;
    g_status.dwWaitHint = 0;
    SetServiceStatus(g_statusHandle, &g_status);
}

// Copies the record into the section under the record mutex; FALSE when no
// view could be mapped. Without a mutex handle it writes unguarded.
static BOOL PublishRecord(const WCHAR* stateText, DWORD runFlag)
{
    void* view = MapViewOfFile(g_section, FILE_MAP_ALL_ACCESS, 0, 0, SERVER_SECTION_BYTES);
    if (view == NULL)
        return FALSE;
    ServerRecord record;
    FillServerRecord(&record, stateText, runFlag);
    if (g_recordMutex != NULL)
        WaitForSingleObject(g_recordMutex, INFINITE);
    memcpy(view, &record, sizeof(record));
    UnmapViewOfFile(view);
    if (g_recordMutex != NULL)
        ReleaseMutex(g_recordMutex);
    return TRUE;
}

static DWORD LaunchManagementServer(void)
{
    WCHAR applicationPath[COMMAND_LINE_UNITS + 16];
    WCHAR binDirectory[COMMAND_LINE_UNITS + 16];
    static WCHAR desktop[] = L"WinSta0\\Default";
    _snwprintf(applicationPath, COMMAND_LINE_UNITS + 16, L"%ls\\bin\\Arvexa.exe", g_installDirectory);
    _snwprintf(binDirectory, COMMAND_LINE_UNITS + 16, L"%ls\\bin", g_installDirectory);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (!CreateProcessW(applicationPath, g_savedServerArgument,
                        NULL /* process attributes */, NULL /* thread attributes */,
                        FALSE /* inherit handles */, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        NULL /* the service's environment */, binDirectory, &startup, &g_server))
        return GetLastError();
    return NO_ERROR;
}

// Publishes "Running" and starts the management server. Returns NO_ERROR or
// the Win32 error that kept the server from starting.
static DWORD StartManagementServer(void)
{
    g_section = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                   SERVER_SECTION_BYTES, SERVER_SECTION_NAME);
    if (g_section == NULL)
        return GetLastError();
    g_recordMutex = CreateMutexW(NULL, FALSE, SERVER_MUTEX_NAME);
    DWORD mutexError = GetLastError();
    if (g_recordMutex == NULL)
        return mutexError;
    if (mutexError == ERROR_ALREADY_EXISTS) {
        // Another process owns this record and may still run a server behind it.
        CloseHandle(g_recordMutex);
        g_recordMutex = NULL;
        return ERROR_ALREADY_EXISTS;
    }
    if (!PublishRecord(SERVER_STATE_RUNNING, 1))
        return GetLastError();
    return LaunchManagementServer();
}

static void StopManagementServer(void)
{
    if (!PublishRecord(SERVER_STATE_STOP, 0))
        return;
    CloseHandle(g_section);
    g_section = NULL;
    if (g_server.hProcess != NULL) {
        WaitForSingleObject(g_server.hProcess, INFINITE);
        CloseHandle(g_server.hProcess);
        CloseHandle(g_server.hThread);
        ZeroMemory(&g_server, sizeof(g_server));
    }
    g_keepAlive = 0;
}

static DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context)
{
    (void)eventType;
    (void)eventData;
    (void)context;
    if (control == SERVICE_CONTROL_STOP) {
        g_stopFinished = CreateEventW(NULL, TRUE, FALSE, NULL);
        ReportState(SERVICE_STOPPED, NO_ERROR);
        StopManagementServer();
        SetEvent(g_stopFinished);
    }
    return NO_ERROR;
}

// Reports the service stopped with the reason the server could not run, so
// the control manager shows the failure instead of an empty running service.
static void EndServiceWithError(DWORD error)
{
    if (g_section != NULL) {
        CloseHandle(g_section);
        g_section = NULL;
    }
    g_keepAlive = 0;
    ReportState(SERVICE_STOPPED, error);
}

static void WINAPI ArvexaServiceMain(DWORD argc, LPWSTR* argv)
{
    (void)argc;
    (void)argv;
    WCHAR configuredCommandLine[CONFIG_READ_UNITS];
    ReadConfiguredCommandLine(configuredCommandLine);
    BOOL haveDirectory = DeriveInstallDirectory(configuredCommandLine, g_installDirectory,
                                                COMMAND_LINE_UNITS - 1);

    ZeroMemory(&g_status, sizeof(g_status));
    g_status.dwServiceType = SERVICE_WIN32;
    g_status.dwCurrentState = SERVICE_START_PENDING;
    g_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    g_statusHandle = RegisterServiceCtrlHandlerExW(ARVEXA_SERVICE_NAME, ServiceControlHandler, NULL);
    if (g_statusHandle == NULL)
        return;
    if (!haveDirectory) {
        EndServiceWithError(ERROR_BAD_PATHNAME);
        return;
    }
    ReportState(SERVICE_RUNNING, NO_ERROR);
    DWORD startError = StartManagementServer();
    if (startError != NO_ERROR) {
        EndServiceWithError(startError);
        return;
    }
    while (g_keepAlive)
        Sleep(KEEP_ALIVE_SLEEP_MS);
}

void RunServiceDispatcher(void)
{
    static WCHAR serviceName[] = ARVEXA_SERVICE_NAME;
    SERVICE_TABLE_ENTRYW dispatchTable[] = {
        {serviceName, ArvexaServiceMain},
        {NULL, NULL},
    };
    StartServiceCtrlDispatcherW(dispatchTable);
    // Some control managers let the dispatcher return as soon as the service
    // reports stopped, while the handler still waits for the server.
    if (g_stopFinished != NULL)
        WaitForSingleObject(g_stopFinished, INFINITE);
}
