// Resource and command ids shared by the window code and the resource script
// (plain #defines: the resource compiler reads this file too).
#pragma once

#define IDM_PREVIEW 50
#define IDD_SETTINGS 10
#define IDS_INFORMATION 20000
#define IDC_MEMORY_EDIT 1000
#define IDC_MEMORY_LABEL 1001

#define CMD_PLAY 100
#define CMD_STOP 102
#define CMD_LOAD 103
#define CMD_PLAY_SELECTION 110
#define CMD_LOOP 111
#define CMD_MODE_FIRST 120  /* video and audio, video only, audio only */
#define CMD_MODE_LAST 122
#define CMD_QUALITY_FIRST 130 /* 1/1, 1/2, 1/4 */
#define CMD_QUALITY_LAST 132
#define CMD_RELEASE 180
#define CMD_SETTINGS 190
#define CMD_INFORMATION 199
#define CMD_VIEW_FIRST 200 /* 25%, 50%, 100%, 200%, 640x480, 320x240, 160x120, WindowSize */
#define CMD_VIEW_LAST 207

#define BTN_PLAY 10050
#define BTN_STOP 10052
#define BTN_READ 10053
