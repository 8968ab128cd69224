// Ids shared by the resource script and the code.
#pragma once

#define IDD_PROGRESS 102
#define IDD_SHORTCUTS 103

#define IDC_STEP0_MARKER 1003
#define IDC_STEP0_LABEL 1004
#define IDC_STEP1_MARKER 1005
#define IDC_STEP1_LABEL 1006
#define IDC_STEP2_MARKER 1007
#define IDC_STEP2_LABEL 1008
#define IDC_STEP3_MARKER 1009
#define IDC_STEP3_LABEL 1010
// The last step's two ids are the other way round.
#define IDC_STEP4_LABEL 1011
#define IDC_STEP4_MARKER 1012

#define IDC_DESKTOP_SHORTCUT 1002
#define IDC_PROGRAMS_SHORTCUT 1003
