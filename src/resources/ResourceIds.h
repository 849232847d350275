// Resource and control ids shared by the resource script and the code. Plain macros, so
// that the resource compiler can read them too.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Window icons of the dialogs: one group of twelve 32-bit images, 16 to 256 pixels.
#define IDI_SETUP 107

// Dialog templates.
#define IDD_EXTRACT 154
#define IDD_EXTRACT_RESULT 155
#define IDD_EULA 156
#define IDD_PROGRESS 158

// The licence agreement in Rich Text Format, resource type "TXT".
#define IDR_LICENCE 157

// Option dialog (154).
#define IDC_DESKTOP_SHORTCUT 1007
#define IDC_NO_UPDATE_CHECK 1008
#define IDC_CREATE 1011
#define IDC_INSTALL_DIR 1012
#define IDC_NO_EULA 1013
// The block of options offered only for /extract: its frame (the block's topmost
// control) and the notes under its two check boxes.
#define IDC_EXTRACT_ONLY_FRAME 1101
#define IDC_NO_UPDATE_CHECK_NOTE 1102
#define IDC_NO_EULA_NOTE 1103
#define IDC_INSTALL_DIR_LABEL 1104
#define IDC_INSTALL_DIR_NOTE 1105

// Result dialog (155).
#define IDC_SHOW_IN_EXPLORER 1014

// Licence agreement dialog (156).
#define IDC_LICENCE_TEXT 1015

// Progress window (158).
#define IDC_PROGRESS_TEXT 1016
#define IDC_PROGRESS_BAR 1017

// Texts of the string table, in every language.
#define IDS_HELP_OPTIONS 200
#define IDS_HELP_HELP 201
#define IDS_HELP_EXTRACT 202
#define IDS_HELP_DEFAULTS 203
#define IDS_TOO_OLD 204
#define IDS_START_FAILED 205
#define IDS_FRAMEWORK_QUESTION 206
#define IDS_DAMAGED 207
#define IDS_PREPARING 208
#define IDS_CREATING_PACKAGE 209
#define IDS_CANCELLING 210
#define IDS_SAVE_TITLE 211
#define IDS_MSI_FILES 212
#define IDS_ALL_FILES 213
#define IDS_DEFAULT_FOLDER 214
#define IDS_NO_ROOM_FOR_SETUP 215
#define IDS_NO_ROOM_FOR_PACKAGE 216
