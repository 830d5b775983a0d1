// Resource identifiers of the settings dialog (shared by the .rc file and the code).
#pragma once

#define IDD_SETTINGS 101

#define IDC_ALPHA_REMOVE 1002
#define IDC_ALPHA_COMPOSITE 1003
#define IDC_CHOOSE_COLOR 1004
#define IDC_HISTORY1 1005
#define IDC_HISTORY2 1006
#define IDC_HISTORY3 1007
#define IDC_HISTORY4 1008
#define IDC_HISTORY5 1009
#define IDC_HISTORY6 1010
#define IDC_HISTORY7 1011
#define IDC_HISTORY8 1012
#define IDC_COLOR_SWATCH 1016
#define IDC_USE_EXIF_ORIENTATION 1018
