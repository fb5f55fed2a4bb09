#pragma once

// Resource ids of the Windows program, shared by the resource script and the code.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_LAUNCHER 102
#define IDS_SOCKETS_INIT_FAILED 103
#define IDI_APPLICATION_ICON 128
#define IDD_TRAY_AGENT 129
#define IDR_TRAY_MENU 130
// Level icons 0 to 7 are 132 to 139.
#define IDI_LEVEL0 132
#define IDI_LEVEL1 133
#define IDI_LEVEL2 134
#define IDI_LEVEL3 135
#define IDI_LEVEL4 136
#define IDI_LEVEL5 137
#define IDI_LEVEL6 138
#define IDI_LEVEL7 139

#define ID_TRAY_EXIT 32771
#define ID_TRAY_SETTINGS 32772
