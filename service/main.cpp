#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "scm_operations.h"
#include "service_identity.h"
#include "service_runtime.h"

static void RunInstall(const WCHAR* extraArgument)
{
    if (!InstallArvexaService(extraArgument)) {
        wprintf(L"\n Error Installing Service\"%ls\"\n", ARVEXA_SERVICE_NAME);
        return;
    }
    if (StartArvexaService())
        wprintf(L"Service \"%ls\" started ok\n", ARVEXA_SERVICE_NAME);
    else
        wprintf(L"Service \"%ls\" started fail\n", ARVEXA_SERVICE_NAME);
}

static void RunUninstall(void)
{
    if (!StopArvexaService()) {
        wprintf(L"\n Error Stopping Service \"%ls\"\n", ARVEXA_SERVICE_NAME);
        return;
    }
    if (RemoveArvexaService())
        wprintf(L"\n Service \"%ls\" UnInstalled Sucessfully\n", ARVEXA_SERVICE_NAME);
    else
        wprintf(L"\n Error UnInstalled Service \"%ls\"\n", ARVEXA_SERVICE_NAME);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 0;
    const WCHAR* extraArgument = argc > 2 ? argv[2] : NULL;
    if (_wcsicmp(argv[1], L"-i") == 0)
        RunInstall(extraArgument);
    else if (_wcsicmp(argv[1], L"-d") == 0)
        RunUninstall();
    else if (_wcsicmp(argv[1], L"-s") == 0) {
        SaveServerArgument(extraArgument);
        RunServiceDispatcher();
    } else
        PrintUsage();
    return 0;
}
