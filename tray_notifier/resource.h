#pragma once
// Resource ids of the tray notifier, shared by the resource script and the code.

#define IDS_NOTIFIER_TITLE 103
#define IDS_NOTIFIER_CLASS 109

#define IDI_NOTIFIER_LARGE 107
#define IDI_NOTIFIER_SMALL 108

#define IDI_SEVERITY_WARNING 129
#define IDI_SEVERITY_ERROR 130
#define IDI_SEVERITY_INFORMATION 131
