// Resource ids of the program, shared by the resource script and the C++
// code. The numbers are fixed by the product: templates, strings and menus are
// found by them, so a number here never changes once shipped.
#pragma once

// Main frame: caption string, icon, menu and accelerator table share 128.
#define IDR_MAINFRAME 128
#define IDI_APPLICATION_ICON 128

// Dialog templates.
#define IDD_TESSALOCK_VIEW 129
#define IDD_ENCRYPT 201
#define IDD_PROGRESS 203
#define IDD_DECRYPT 204
#define IDD_ABOUTBOX 205

// Icons and bitmaps.
#define IDI_PASSWORD 202
// The icon that Explorer shows for .lock files (the installer's association
// names it by this number).
#define IDI_CONTAINER 207
#define IDB_BANNER 205
// The banner drawn at twice the size, for screens at 150 % and more.
#define IDB_BANNER_LARGE 208

// The pages behind Help, the banner and the About box's link, and their style
// sheet (HTML resources, written out before a page is shown).
#define IDR_PAGE_HELP 301
#define IDR_PAGE_PROTECT 302
#define IDR_PAGE_ABOUT 303
#define IDR_PAGE_STYLE 304

// The file list's context menu.
#define IDR_LIST_MENU 206

// String table.
#define IDS_APP_CAPTION 128
#define IDS_ENTER_PASSWORD 129
#define IDS_CONFIRM_PASSWORD 130
#define IDS_PASSWORDS_DIFFER 131
#define IDS_INVALID_PATH 132
#define IDS_ENCRYPTED_OK 133
#define IDS_DECRYPT_FAILED 134
#define IDS_WRONG_PASSWORD 135
#define IDS_NOT_DECRYPTABLE 136
#define IDS_DECRYPTED_ASK_OPEN 137
#define IDS_ALREADY_LISTED 138
#define IDS_CONFIRM_DELETE 139
#define IDS_NOTHING_TO_ENCRYPT 140
#define IDS_ALREADY_ENCRYPTED 146
// What the jobs ask and report beyond the texts above.
#define IDS_REPLACE_CONTAINER 160
#define IDS_ENCRYPTED_LEFT_BEHIND 161
#define IDS_REPLACE_RESTORED 162
#define IDS_REPLACE_CONTAINER_FOR_GOOD 163
#define IDS_PAGE_NOT_SHOWN 170
// The texts the jobs report; failure texts are joined from these pieces.
#define IDS_JOB_WRITE 400
#define IDS_JOB_WRITE_HEADER_ERROR 401
#define IDS_JOB_PASSWORD_TOO_LONG 402
#define IDS_JOB_ENCRYPT_ERROR 403
#define IDS_JOB_CONTAINER_INSIDE_ITEM 404
#define IDS_JOB_CONTAINER_INSIDE_ITEM_END 405
#define IDS_JOB_CONTAINER_INCOMPLETE 406
#define IDS_JOB_THE_FILE 407
#define IDS_JOB_COULD_NOT_BE_READ 408
#define IDS_JOB_FILE_ENDED_EARLY 409
#define IDS_JOB_FILE_GREW 410
#define IDS_JOB_THE_FOLDER 411
#define IDS_JOB_COULD_NOT_BE_LISTED 412
#define IDS_JOB_THE_NAME 413
#define IDS_JOB_NAME_CANNOT_BE_STORED 414
#define IDS_JOB_AND 415
#define IDS_JOB_SAME_NAME 416
#define IDS_JOB_READ_BACK_DIFFERS 417
#define IDS_JOB_LEFT_CHANGED 418
#define IDS_JOB_LEFT_NOT_STORED 419
#define IDS_JOB_LEFT_ADDED 420
#define IDS_JOB_LEFT_COULD_NOT_DELETE 421
#define IDS_JOB_LEFT_MORE 422
#define IDS_JOB_GIVEN_TWICE 423
#define IDS_JOB_NOT_RECYCLED 424
#define IDS_JOB_LEFT_SAME_FILE 425
#define IDS_JOB_READ_FILE 430
#define IDS_JOB_ERROR_SUFFIX 431
#define IDS_JOB_CHECK_PASSWORD_ERROR 432
#define IDS_JOB_READ_HEADER_ERROR 433
#define IDS_JOB_DECRYPT_ERROR_TARGET 434
#define IDS_JOB_DELETE_SOURCE_ERROR 435
#define IDS_JOB_THE_ENTRY 436
#define IDS_JOB_ENTRY_OUTSIDE 437
#define IDS_JOB_NEGATIVE_SIZE 438
#define IDS_JOB_SIZE_BEYOND_END 439
#define IDS_JOB_STORED_TWICE 440
#define IDS_JOB_FILE_IN_THE_WAY 441
#define IDS_JOB_FOLDER_IN_THE_WAY 442
#define IDS_JOB_REPLACED_KEPT 443
#define IDS_JOB_NO_RECYCLE_BIN 444
#define IDS_JOB_RESTORED_BESIDE 445
#define IDS_JOB_OUT_OF_MEMORY 450
#define IDS_JOB_UNEXPECTED 451
#define IDS_JOB_UNEXPECTED_DETAIL 452
#define IDS_JOB_CONTAINER_CHANGED 460
#define IDS_JOB_KEY_BEYOND_LIMITS 461

// Controls. Some numbers are reused between templates that never meet.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_PATH_LABEL 1000
#define IDC_PASSWORD 1002
#define IDC_REENTER 1003
#define IDC_ENCRYPT 1004
#define IDC_EXIT 1005
#define IDC_DECRYPT 1006
#define IDC_ADD 1006
#define IDC_BANNER 1007
#define IDC_FILE_LIST 1008
#define IDC_HINT 1009
#define IDC_FRAME_BOX 1012
#define IDC_ABOUT 1013
#define IDC_HELP_BUTTON 1014
#define IDC_ABOUT_NAME 1014
#define IDC_ABOUT_LINK 1015

// Commands of the list's context menu.
#define ID_LIST_DELETE 32776
#define ID_LIST_ADD 32777

// Frame commands (menu 128 and accelerator table 128).
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_SAVE 57603
#define ID_FILE_PRINT 57607
#define ID_APP_EXIT 57665
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681
