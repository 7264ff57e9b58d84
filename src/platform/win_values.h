// Values of the Win32 headers that the core relies on, under their Win32
// names. Only the core's .cpp files (and the host tests) include this header:
// <windows.h> defines the same names as macros, so nothing that may meet
// <windows.h> can see it. constants_check_win32.cpp checks every value
// against <windows.h> at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

namespace win {
constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_ENDSESSION = 0x0016;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_INITDIALOG = 0x0110;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_USER = 0x0400;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_TOPMOST = 0x40000;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr int HFILE_ERROR = -1;

constexpr uint32_t STILL_ACTIVE = 259;
// PROCESS_ALL_ACCESS as the pre-Vista headers define it.
constexpr uint32_t PROCESS_ALL_ACCESS_LEGACY = 0x1F0FFF;
constexpr uint32_t PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
constexpr uint32_t PROCESS_TERMINATE = 0x1;
constexpr uint32_t PROCESS_DUP_HANDLE = 0x40;
constexpr uint32_t PRIVATE_NAMESPACE_FLAG_DESTROY = 0x1;
constexpr uint32_t WinBuiltinAdministratorsSid = 26;
constexpr uint32_t WinHighLabelSid = 68;
constexpr uint32_t TH32CS_SNAPPROCESS = 0x2;

constexpr uint32_t DIGCF_ALLCLASSES = 0x4;
constexpr uint32_t SPDRP_HARDWAREID = 1;
constexpr uint32_t CR_SUCCESS = 0x0;
constexpr uint32_t CR_NO_SUCH_DEVNODE = 0xD;
constexpr uint32_t DICS_FLAG_GLOBAL = 0x1;
constexpr uint32_t DIREG_DRV = 0x2;
constexpr uint32_t INF_STYLE_WIN4 = 0x2;

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_NO_ASSOCIATION = 1155;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_INSTALL_USEREXIT = 1602;
constexpr uint32_t ERROR_INSTALL_ALREADY_RUNNING = 1618;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
// SetupAPI: no device has the hardware ID.
constexpr uint32_t ERROR_NO_SUCH_DEVINST = 0xE000020B;
constexpr uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr uint32_t ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr uint32_t ERROR_CALL_NOT_IMPLEMENTED = 120;
// Exit codes of installers and Windows Installer packages that ask for a
// restart: needed, or already begun by the package.
constexpr uint32_t ERROR_SUCCESS_REBOOT_REQUIRED = 3010;
constexpr uint32_t ERROR_SUCCESS_REBOOT_INITIATED = 1641;
// Windows Update Standalone Installer (.msu): the update is already installed,
// or does not apply to this system.
constexpr uint32_t WU_S_ALREADY_INSTALLED = 0x00240006;
constexpr uint32_t WU_E_NOT_APPLICABLE = 0x80240017;
constexpr uint32_t COINIT_MULTITHREADED = 0x0;

constexpr uint32_t SYNCHRONIZE = 0x00100000;
constexpr uint32_t MUTEX_MODIFY_STATE = 0x0001;
constexpr uint32_t INFINITE = 0xFFFFFFFF;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_ABANDONED_0 = 0x80;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
// QS_ALLINPUT without the touch and pointer input of Windows 8: with those
// bits MsgWaitForMultipleObjects fails on Windows 7.
constexpr uint32_t QS_ALLINPUT_LEGACY = 0x04FF;

constexpr uint32_t SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr uint32_t SEE_MASK_FLAG_NO_UI = 0x00000400;
constexpr uint32_t SEE_MASK_NOZONECHECKS = 0x00800000;

constexpr uint32_t SC_MANAGER_CONNECT = 0x0001;
constexpr uint32_t SERVICE_QUERY_STATUS = 0x0004;

constexpr uint32_t FILE_APPEND_DATA = 0x0004;
constexpr uint32_t FILE_SHARE_READ = 0x1;
constexpr uint32_t FILE_SHARE_WRITE = 0x2;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr uint32_t FILE_READ_ATTRIBUTES = 0x80;
constexpr uint32_t FILE_TRAVERSE = 0x20;
constexpr uint32_t READ_CONTROL = 0x20000;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr uint32_t FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
constexpr uint32_t FILE_TYPE_DISK = 1;
constexpr uint32_t FILE_NAME_NORMALIZED = 0;
constexpr uint32_t VOLUME_NAME_DOS = 0;

constexpr uint32_t LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800;
constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;

// The registry, version resources and Windows Installer.
constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_WOW64_64KEY = 0x0100;
constexpr uint32_t KEY_WOW64_32KEY = 0x0200;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;
constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr int32_t INSTALLSTATE_DEFAULT = 5;
constexpr int32_t INSTALLSTATE_INVALIDARG = -2;
constexpr uint32_t ERROR_UNKNOWN_PRODUCT = 1605;
constexpr uint32_t ERROR_UNKNOWN_PROPERTY = 1608;
constexpr uint32_t ERROR_INSTALL_FAILURE = 1603;
constexpr uint32_t ERROR_PRODUCT_VERSION = 1638;
// "No action was taken as a system reboot is required." mingw-w64's
// winerror.h lacks it, so it is not in the table checked against the headers.
constexpr uint32_t ERROR_FAIL_NOACTION_REBOOT = 350;

constexpr uint32_t TOKEN_ADJUST_PRIVILEGES = 0x20;
constexpr uint32_t TOKEN_QUERY = 0x8;
constexpr uint32_t SE_PRIVILEGE_ENABLED = 0x2;

// InitiateShutdownW: restart, and log off every session, this one included,
// without waiting for programs that would hold it up.
constexpr uint32_t SHUTDOWN_FORCE_OTHERS = 0x1;
constexpr uint32_t SHUTDOWN_FORCE_SELF = 0x2;
constexpr uint32_t SHUTDOWN_RESTART = 0x4;

// The window station's visibility: without it nobody sees the desktop (a
// service's window station, session 0).
constexpr uint32_t UOI_FLAGS = 1;
constexpr uint32_t WSF_VISIBLE = 0x1;

// UpdateDriverForPlugAndPlayDevicesA fails instead of showing anything.
constexpr uint32_t INSTALLFLAG_NONINTERACTIVE = 0x4;

constexpr uint16_t IMAGE_FILE_MACHINE_UNKNOWN = 0;
constexpr uint16_t IMAGE_FILE_MACHINE_I386 = 0x014C;
constexpr uint16_t IMAGE_FILE_MACHINE_AMD64 = 0x8664;
constexpr uint16_t IMAGE_FILE_MACHINE_ARM64 = 0xAA64;
// GetMachineTypeAttributes: code of that machine runs in user mode.
constexpr uint32_t MACHINE_ATTRIBUTES_USER_ENABLED = 0x1;

constexpr uint32_t EWX_REBOOT = 0x2;
constexpr uint32_t EWX_FORCE = 0x4;
// The reason the system's event log records for the restart: a planned
// installation.
constexpr uint32_t SHTDN_REASON_MAJOR_APPLICATION = 0x00040000;
constexpr uint32_t SHTDN_REASON_MINOR_INSTALLATION = 0x00000002;
constexpr uint32_t SHTDN_REASON_FLAG_PLANNED = 0x80000000;

constexpr uint32_t FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr uint32_t LANG_NEUTRAL_SUBLANG_DEFAULT = 0x0400;

constexpr uint32_t LANG_KOREAN = 0x12;

constexpr size_t MAX_PATH = 260;
}  // namespace win

// Every value above, for the check against <windows.h>.
// clang-format off
#define ZW_WIN_CONSTANTS(X) \
    X(WM_CREATE) \
    X(KEY_QUERY_VALUE) \
    X(KEY_SET_VALUE) \
    X(KEY_WOW64_64KEY) \
    X(KEY_WOW64_32KEY) \
    X(REG_SZ) \
    X(REG_EXPAND_SZ) \
    X(REG_DWORD) \
    X(REG_MULTI_SZ) \
    X(REG_QWORD) \
    X(ERROR_MORE_DATA) \
    X(INVALID_FILE_ATTRIBUTES) \
    X(INSTALLSTATE_DEFAULT) \
    X(INSTALLSTATE_INVALIDARG) \
    X(ERROR_UNKNOWN_PRODUCT) \
    X(ERROR_UNKNOWN_PROPERTY) \
    X(ERROR_INSTALL_FAILURE) \
    X(ERROR_PRODUCT_VERSION) \
    X(WM_DESTROY) \
    X(WM_CLOSE) \
    X(WM_ENDSESSION) \
    X(WM_QUIT) \
    X(WM_INITDIALOG) \
    X(WM_COMMAND) \
    X(WM_TIMER) \
    X(WM_KEYDOWN) \
    X(WM_USER) \
    X(IDOK) \
    X(IDCANCEL) \
    X(IDYES) \
    X(IDNO) \
    X(MB_OK) \
    X(MB_YESNO) \
    X(MB_ICONQUESTION) \
    X(MB_TOPMOST) \
    X(SW_HIDE) \
    X(SW_SHOW) \
    X(HFILE_ERROR) \
    X(STILL_ACTIVE) \
    X(PROCESS_ALL_ACCESS_LEGACY) \
    X(PROCESS_QUERY_LIMITED_INFORMATION) \
    X(PROCESS_TERMINATE) \
    X(PROCESS_DUP_HANDLE) \
    X(PRIVATE_NAMESPACE_FLAG_DESTROY) \
    X(WinBuiltinAdministratorsSid) \
    X(WinHighLabelSid) \
    X(ERROR_ALREADY_EXISTS) \
    X(TH32CS_SNAPPROCESS) \
    X(DIGCF_ALLCLASSES) \
    X(SPDRP_HARDWAREID) \
    X(CR_SUCCESS) \
    X(CR_NO_SUCH_DEVNODE) \
    X(DICS_FLAG_GLOBAL) \
    X(DIREG_DRV) \
    X(INF_STYLE_WIN4) \
    X(ERROR_SUCCESS) \
    X(ERROR_INVALID_DATA) \
    X(ERROR_INVALID_HANDLE) \
    X(COINIT_MULTITHREADED) \
    X(ERROR_INVALID_PARAMETER) \
    X(ERROR_NO_ASSOCIATION) \
    X(ERROR_TIMEOUT) \
    X(ERROR_INSTALL_USEREXIT) \
    X(ERROR_INSTALL_ALREADY_RUNNING) \
    X(ERROR_INSUFFICIENT_BUFFER) \
    X(ERROR_NO_MORE_ITEMS) \
    X(ERROR_NO_SUCH_DEVINST) \
    X(ERROR_NOT_ALL_ASSIGNED) \
    X(ERROR_PRIVILEGE_NOT_HELD) \
    X(TOKEN_ADJUST_PRIVILEGES) \
    X(TOKEN_QUERY) \
    X(SE_PRIVILEGE_ENABLED) \
    X(EWX_REBOOT) \
    X(EWX_FORCE) \
    X(FORMAT_MESSAGE_ALLOCATE_BUFFER) \
    X(FORMAT_MESSAGE_FROM_SYSTEM) \
    X(FORMAT_MESSAGE_IGNORE_INSERTS) \
    X(LANG_NEUTRAL_SUBLANG_DEFAULT) \
    X(LANG_KOREAN) \
    X(MAX_PATH) \
    X(ERROR_FILE_NOT_FOUND) \
    X(ERROR_ACCESS_DENIED) \
    X(ERROR_SUCCESS_REBOOT_REQUIRED) \
    X(ERROR_SUCCESS_REBOOT_INITIATED) \
    X(SYNCHRONIZE) \
    X(MUTEX_MODIFY_STATE) \
    X(INFINITE) \
    X(WAIT_OBJECT_0) \
    X(WAIT_ABANDONED_0) \
    X(WAIT_TIMEOUT) \
    X(WAIT_FAILED) \
    X(QS_ALLINPUT_LEGACY) \
    X(SEE_MASK_NOCLOSEPROCESS) \
    X(SEE_MASK_FLAG_NO_UI) \
    X(SEE_MASK_NOZONECHECKS) \
    X(SC_MANAGER_CONNECT) \
    X(SERVICE_QUERY_STATUS) \
    X(FILE_APPEND_DATA) \
    X(FILE_SHARE_READ) \
    X(FILE_SHARE_WRITE) \
    X(OPEN_ALWAYS) \
    X(FILE_ATTRIBUTE_NORMAL) \
    X(FILE_ATTRIBUTE_DIRECTORY) \
    X(FILE_ATTRIBUTE_REPARSE_POINT) \
    X(FILE_READ_ATTRIBUTES) \
    X(FILE_TRAVERSE) \
    X(READ_CONTROL) \
    X(OPEN_EXISTING) \
    X(FILE_FLAG_BACKUP_SEMANTICS) \
    X(FILE_FLAG_OPEN_REPARSE_POINT) \
    X(FILE_TYPE_DISK) \
    X(FILE_NAME_NORMALIZED) \
    X(VOLUME_NAME_DOS) \
    X(LOAD_LIBRARY_SEARCH_SYSTEM32) \
    X(ERROR_MOD_NOT_FOUND) \
    X(ERROR_PROC_NOT_FOUND) \
    X(SHTDN_REASON_MAJOR_APPLICATION) \
    X(SHTDN_REASON_MINOR_INSTALLATION) \
    X(SHTDN_REASON_FLAG_PLANNED) \
    X(ERROR_CALL_NOT_IMPLEMENTED) \
    X(SHUTDOWN_FORCE_OTHERS) \
    X(SHUTDOWN_FORCE_SELF) \
    X(SHUTDOWN_RESTART) \
    X(UOI_FLAGS) \
    X(WSF_VISIBLE) \
    X(INSTALLFLAG_NONINTERACTIVE) \
    X(IMAGE_FILE_MACHINE_UNKNOWN) \
    X(IMAGE_FILE_MACHINE_I386) \
    X(IMAGE_FILE_MACHINE_AMD64) \
    X(IMAGE_FILE_MACHINE_ARM64)
// clang-format on

}  // namespace zw
