#pragma once
// Resource and command identifiers, shared by the resource script and the code.

#define IDS_APP_TITLE 103
#define IDS_MAIN_CLASS 109
#define IDI_QUILLOMAT 107
#define IDI_SMALL 108
#define IDC_QUILLOMAT 109  // menu bar and accelerator table

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SETTINGS 32773
#define IDM_COMPUTER_SOUND 32774
#define IDM_OPEN_FOLDER 32775

#define IDC_RECORD 1001
#define IDC_PAUSE 1003
#define IDC_REGION 1005
#define IDC_STATUS 1007
#define IDC_FULLSCREEN 1009
#define IDC_MICROPHONE 1010
#define IDC_FOLDER 1011
#define IDC_BROWSE 1012
#define IDC_WEBCAM 1013

#define IDM_TRAY_SHOW 2001
#define IDM_TRAY_HIDE 2002
#define IDM_TRAY_EXIT 2003
#define IDM_TRAY_COMPUTER_SOUND 2004
#define IDM_TRAY_OPEN_FOLDER 2005

#define IDB_RECORD 150
#define IDB_PAUSE 151
#define IDB_RESUME 152
#define IDB_STOP 153
#define IDB_REGION 154
#define IDB_FULLSCREEN 155
#define IDB_MIC_ON 156
#define IDB_MIC_OFF 157
#define IDB_WEBCAM 158
