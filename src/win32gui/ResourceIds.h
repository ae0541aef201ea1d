#pragma once
// Identifiers shared by the resource script (windres) and the windows' code. Plain #defines: the
// resource compiler reads this file with its own preprocessor.

#define IDI_PRODUCT 1

#define IDD_MAIN 100
#define IDD_PASSWORD 101
#define IDD_ABOUT 102
#define IDD_SETTINGS 103

#define IDR_MAIN_MENU 200
#define IDR_MAIN_ACCELERATORS 201
#define IDR_ITEM_MENU 202

// The main window: the target system row, the tabs and the buttons under them.
#define IDC_TARGET_CAPTION 1000
#define IDC_TARGET_LABEL 1001
#define IDC_TARGET_CHANGE 1002
#define IDC_TABS 1003
#define IDC_APPLY 1004
#define IDC_ABOUT_BUTTON 1005
#define IDC_QUIT 1006

// The Backup tab.
#define IDC_SOURCE_PROFILE_LABEL 1010
#define IDC_SOURCE_PROFILE 1011
#define IDC_BACKUP_GROUP 1012
#define IDC_BACKUP_FILE_LABEL 1013
#define IDC_BACKUP_FILE 1014
#define IDC_BACKUP_BROWSE 1015
#define IDC_DESCRIPTION_LABEL 1016
#define IDC_DESCRIPTION 1017
#define IDC_PROTECT 1018
#define IDC_PASSWORD_LABEL 1019
#define IDC_PASSWORD 1020
#define IDC_PASSWORD2_LABEL 1021
#define IDC_PASSWORD2 1022
// Nine boxes each, in item order.
#define IDC_BACKUP_ITEM0 1030
#define IDC_RESTORE_ITEM0 1040

// The Restore tab.
#define IDC_RESTORE_FILE_LABEL 1050
#define IDC_RESTORE_FILE 1051
#define IDC_RESTORE_BROWSE 1052
#define IDC_BACKUP_INFO_LABEL 1053
#define IDC_BACKUP_INFO 1054
#define IDC_BACKUP_DESCRIPTION_LABEL 1055
#define IDC_BACKUP_DESCRIPTION 1056
#define IDC_RESTORE_GROUP 1057
#define IDC_TARGET_PROFILE_LABEL 1058
#define IDC_TARGET_PROFILE 1059

// The Logs and About tabs.
#define IDC_LOG_LIST 1070
#define IDC_ABOUT_CAPTION 1071
#define IDC_ABOUT_TEXT 1072

// The progress panel.
#define IDC_STATUS 1080
#define IDC_FILE_LABEL 1081
#define IDC_PROGRESS 1082
#define IDC_CANCEL_JOB 1083
#define IDC_TIME_LEFT 1084

// The password prompt.
#define IDC_SECURITY_FRAME 1100
#define IDC_PASSWORD_PROMPT 1101
#define IDC_PASSWORD_EDIT 1102

// The about window.
#define IDC_ABOUT_PICTURE 1110
#define IDC_ABOUT_PRODUCT 1111
#define IDC_ABOUT_THANKS 1112
#define IDC_ABOUT_NOTICE 1113

// The settings window: its tabs, the eight boxes in SettingsBox order, the folder, the automatic
// backups' file.
#define IDC_SETTINGS_TABS 1120
#define IDC_SETTINGS_BOX0 1121
#define IDC_GENERAL_FRAME 1130
#define IDC_BACKUP_FRAME 1131
#define IDC_FOLDER_LABEL 1132
#define IDC_FOLDER 1133
#define IDC_FOLDER_BROWSE 1134
#define IDC_FILES_FRAME 1135
#define IDC_REPLACE_AUTO 1136
#define IDC_NEW_AUTO 1137
#define IDC_KEEP_LABEL 1138
#define IDC_KEEP 1139
#define IDC_KEEP_SPIN 1140

// Menu entries and accelerators.
#define IDM_BACKUP_NOW 2000
#define IDM_RESTORE_NOW 2001
#define IDM_QUIT 2002
#define IDM_TASK_SCHEDULER 2003
#define IDM_SETTINGS 2004
#define IDM_TARGET_SYSTEM 2005
#define IDM_BACKUP_TO_DISC 2006
#define IDM_HELP 2007
#define IDM_ABOUT 2008
#define IDM_SELECT_ALL 2009
#define IDM_DESELECT_ALL 2010
#define IDM_NEXT_TAB 2011
#define IDM_PREVIOUS_TAB 2012
