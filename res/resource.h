// Resource numbers, shared by zarnowel.rc and the code that loads them. Plain
// #defines, since the resource compiler reads this file too.
#pragma once

// The ProgressDialog's templates, English and Korean.
#define IDD_PROGRESS_ENG 103
#define IDD_PROGRESS_KOR 132
// The picture both templates show.
#define IDB_SETUP 171
// The InstallerWindow's menu and accelerator table, and the string that is its
// class name, share one number.
#define IDC_INSTALLER 109
// The string that is the InstallerWindow's title.
#define IDS_APP_TITLE 103
// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
// The executable's icon group.
#define IDI_APP 162
// The icon the window class asks for; the set holds none, so the class has
// no icon of its own.
#define IDI_CLASS 129
