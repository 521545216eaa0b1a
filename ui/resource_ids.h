#pragma once

// Identifiers of the program's resources: dialog templates, controls,
// strings, the icon and the about command. Only this header defines them,
// next to the framework's own IDOK, IDCANCEL and IDC_STATIC.

#include "ui/framework/standard_ids.h"

// Dialog templates.
inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDD_MAIN = 102;

// Strings.
inline constexpr int IDS_ABOUT = 101;
inline constexpr int IDS_DRIVEMAPPING = 102;
inline constexpr int IDS_FINDMISSING = 103;
inline constexpr int IDS_CATALOGUE = 104;
inline constexpr int IDS_REMEMBER = 105;

// The application's icon: one group of a 32 x 32 and a 16 x 16 picture.
inline constexpr int IDR_MAINFRAME = 128;

// Controls of IDD_MAIN.
inline constexpr int IDC_PROCESS = 1011;
inline constexpr int IDC_BROWSE = 1015;
inline constexpr int IDC_DVC_PATH = 1016;
inline constexpr int IDC_FILE_LIST = 1018;
inline constexpr int IDC_PROGRESS = 1021;
inline constexpr int IDC_STATUS = 1039;

// The about entry of the window menu. Its low four bits are zero: commands
// of the window menu are compared with those bits masked off (0xFFF0).
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

// The window menu's entries for the drive mapping and for the search of
// moved media; their low four bits are zero as well.
inline constexpr unsigned IDM_DRIVEMAPPING = 0x0030;
inline constexpr unsigned IDM_FINDMISSING = 0x0040;
// The window menu's entry that undoes the last put back of the session.
inline constexpr unsigned IDM_UNDOPUTBACK = 0x0050;
// The window menu's entries of the catalogue of disks: cataloguing a disk,
// and the setting that remembers the present media of each scan.
inline constexpr unsigned IDM_CATALOGUE = 0x0060;
inline constexpr unsigned IDM_REMEMBER = 0x0070;
