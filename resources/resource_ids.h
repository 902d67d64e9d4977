// Resource ids of the library, shared by the resource script and the code. Plain #defines, as
// the resource compiler reads this file too.
#pragma once

#define IDS_PRODUCT_NAME 100
#define IDS_SCHEME_FILE_TYPE 101
#define IDS_APPLY_SCHEME_VERB 102
#define IDS_MODIFY_SCHEME_VERB 103
#define IDS_CHANGE_CURSOR 112
#define IDS_FIRST_ROLE 113  // one text per pointer role, 113 to 127
#define IDS_ROLE_HELP 128
#define IDS_SAVE_SCHEME 129
#define IDS_SAVE_SCHEME_HELP 130
#define IDS_SAVE_FILTER 131
#define IDS_SAVE_TITLE 132
#define IDS_EXPORT_FAILED_CAPTION 133
#define IDS_EXPORT_FAILED_TEXT 134
#define IDS_INSTALL_PACK 135
#define IDS_INSTALL_PACK_HELP 136
#define IDS_PACK_CAPTION 137
#define IDS_PACK_ROLES_KEPT 138
#define IDS_PACK_FAILED 139
#define IDS_PACK_NO_FILES 140
#define IDS_PIN_ROLE 141  // the two roles after the fifteen, in their order
#define IDS_PERSON_ROLE 142
#define IDS_UNINSTALL_PACK 143
#define IDS_UNINSTALL_PACK_HELP 144
#define IDS_PACK_UNINSTALL_KEPT 145
#define IDS_PACK_UNINSTALL_FAILED 146
#define IDS_PACK_OWN_FILES 147
#define IDS_PACK_SELECTION_NO_FILES 148

#define IDR_APPID_SCRIPT 101
#define IDR_CLASS_SCRIPT 102
#define IDR_PACK_CLASS_SCRIPT 103
#define IDR_THUMBNAIL_CLASS_SCRIPT 104
#define IDB_MENU_GLYPH 201
#define IDI_SCHEME_FILE 202
