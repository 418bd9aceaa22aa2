// The one seam between the wizard and the operating system.
//
// Every Windows service the wizard uses is called as os::Name, with the
// Win32 name and call form. On Windows os::Name is the Win32 function itself
// (nothing in between), but for the print spooler's, which are bound from the
// system folder at their first use (below). On Linux the test platform (testing/) implements the
// same functions against an in-memory desktop, a real folder on disk, a
// stand-in print spooler and dlopen, so that native tests run the wizard's
// own code unchanged.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

// Sent from Windows 8.1 on; the headers declare it only for newer targets.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace os {
// kernel
using ::CloseHandle;
using ::CreateDirectoryW;
using ::CreateFileA;
using ::CreateFileW;
using ::CreateMutexA;
using ::FindClose;
using ::FindFirstFileA;
using ::FindNextFileA;
using ::FindResourceA;
using ::FreeLibrary;
using ::GetCurrentDirectoryA;
using ::GetCurrentProcessId;
using ::GetEnvironmentVariableW;
using ::GetFileSize;
using ::GetLastError;
using ::GetLocalTime;
using ::GetModuleFileNameA;
using ::GetModuleHandleA;
using ::GetProcAddress;
using ::GetTickCount;
using ::GetUserDefaultUILanguage;
using ::GetVersionExW;
using ::LoadLibraryExA;
using ::LoadResource;
using ::LockResource;
using ::MoveFileExW;
using ::MultiByteToWideChar;
using ::QueryPerformanceCounter;
using ::QueryPerformanceFrequency;
using ::ReadFile;
using ::SetCurrentDirectoryA;
using ::SetLastError;
using ::SetThreadExecutionState;
using ::SizeofResource;
using ::Sleep;
using ::WideCharToMultiByte;
using ::WriteFile;
// strings and resources
using ::CharNextA;
using ::CharUpperBuffA;
using ::DestroyIcon;
using ::LoadIconA;
using ::LoadImageA;
using ::LoadStringA;
// windows, dialogs, messages
using ::BeginPaint;
using ::BringWindowToTop;
using ::DialogBoxParamA;
using ::DispatchMessageA;
using ::DrawIconEx;
using ::EnableMenuItem;
using ::EnableWindow;
using ::EndDialog;
using ::FlashWindowEx;
using ::EndPaint;
using ::GetClientRect;
using ::GetDesktopWindow;
using ::GetDlgItem;
using ::GetForegroundWindow;
using ::GetLastActivePopup;
using ::GetPropA;
using ::GetSystemMenu;
using ::GetSystemMetrics;
using ::GetWindow;
using ::GetWindowLongA;
using ::GetWindowRect;
using ::GetWindowTextA;
using ::GetWindowTextLengthA;
using ::IsDialogMessageA;
using ::IsIconic;
using ::IsWindow;
using ::IsWindowEnabled;
using ::IsWindowVisible;
using ::MessageBoxA;
using ::PeekMessageA;
using ::PostMessageA;
using ::RegisterWindowMessageA;
using ::RemovePropA;
using ::SendMessageA;
using ::SetForegroundWindow;
using ::SetPropA;
using ::SetWindowPos;
using ::SetWindowTextA;
using ::ShowWindow;
using ::ShutdownBlockReasonCreate;
using ::ShutdownBlockReasonDestroy;
using ::SystemParametersInfoA;
using ::TranslateMessage;
// A macro for SetWindowLongA on 32-bit Windows: a function of ours with the
// name it expands to serves both builds.
inline LONG_PTR SetWindowLongPtrA(HWND w, int index, LONG_PTR value) { return ::SetWindowLongPtrA(w, index, value); }
}  // namespace os

#else  // test platform

#include "platform/native/wintypes.h"

namespace os {
// kernel
BOOL CloseHandle(HANDLE h);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                   DWORD flags, HANDLE tmpl);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                   DWORD flags, HANDLE tmpl);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name);
BOOL FindClose(HANDLE h);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data);
HRSRC FindResourceA(HMODULE m, LPCSTR name, LPCSTR type);
BOOL FreeLibrary(HMODULE m);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buf);
DWORD GetCurrentProcessId();
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR value, DWORD size);
DWORD GetFileSize(HANDLE h, LPDWORD high);
DWORD GetLastError();
void GetLocalTime(LPSYSTEMTIME time);
DWORD GetModuleFileNameA(HMODULE m, LPSTR buf, DWORD size);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE m, LPCSTR name);
DWORD GetTickCount();
LANGID GetUserDefaultUILanguage();
BOOL GetVersionExW(LPOSVERSIONINFOW info);
HMODULE LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);
HGLOBAL LoadResource(HMODULE m, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL ReadFile(HANDLE h, LPVOID buf, DWORD toRead, LPDWORD read, LPOVERLAPPED ov);
BOOL SetCurrentDirectoryA(LPCSTR dir);
void SetLastError(DWORD e);
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags);
DWORD SizeofResource(HMODULE m, HRSRC resource);
void Sleep(DWORD ms);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, LPBOOL usedDefault);
BOOL WriteFile(HANDLE h, LPCVOID buf, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov);
// strings and resources
LPSTR CharNextA(LPCSTR p);
DWORD CharUpperBuffA(LPSTR s, DWORD len);
BOOL DestroyIcon(HICON icon);
HICON LoadIconA(HINSTANCE inst, LPCSTR name);
HANDLE LoadImageA(HINSTANCE inst, LPCSTR name, UINT type, int cx, int cy, UINT flags);
int LoadStringA(HINSTANCE inst, UINT id, LPSTR buf, int size);
// windows, dialogs, messages
HDC BeginPaint(HWND w, LPPAINTSTRUCT ps);
BOOL BringWindowToTop(HWND w);
INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR tmpl, HWND parent, DLGPROC proc, LPARAM param);
LRESULT DispatchMessageA(const MSG* m);
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH brush, UINT flags);
BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);
BOOL EnableWindow(HWND w, BOOL enable);
BOOL EndDialog(HWND w, INT_PTR result);
BOOL FlashWindowEx(PFLASHWINFO info);
BOOL EndPaint(HWND w, const PAINTSTRUCT* ps);
BOOL GetClientRect(HWND w, LPRECT r);
HWND GetDesktopWindow();
HWND GetDlgItem(HWND dlg, int id);
HWND GetForegroundWindow();
HWND GetLastActivePopup(HWND w);
HANDLE GetPropA(HWND w, LPCSTR name);
HMENU GetSystemMenu(HWND w, BOOL revert);
int GetSystemMetrics(int index);
HWND GetWindow(HWND w, UINT cmd);
LONG GetWindowLongA(HWND w, int index);
BOOL GetWindowRect(HWND w, LPRECT r);
int GetWindowTextA(HWND w, LPSTR buf, int size);
int GetWindowTextLengthA(HWND w);
BOOL IsDialogMessageA(HWND dlg, LPMSG m);
BOOL IsIconic(HWND w);
BOOL IsWindow(HWND w);
BOOL IsWindowEnabled(HWND w);
BOOL IsWindowVisible(HWND w);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL PeekMessageA(LPMSG m, HWND w, UINT first, UINT last, UINT remove);
BOOL PostMessageA(HWND w, UINT msg, WPARAM wp, LPARAM lp);
UINT RegisterWindowMessageA(LPCSTR name);
HANDLE RemovePropA(HWND w, LPCSTR name);
LRESULT SendMessageA(HWND w, UINT msg, WPARAM wp, LPARAM lp);
BOOL SetForegroundWindow(HWND w);
BOOL SetPropA(HWND w, LPCSTR name, HANDLE value);
BOOL SetWindowPos(HWND w, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL SetWindowTextA(HWND w, LPCSTR text);
BOOL ShowWindow(HWND w, int cmd);
BOOL ShutdownBlockReasonCreate(HWND w, LPCWSTR reason);
BOOL ShutdownBlockReasonDestroy(HWND w);
LONG_PTR SetWindowLongPtrA(HWND w, int index, LONG_PTR value);
BOOL SystemParametersInfoA(UINT action, UINT uparam, LPVOID pv, UINT winini);
BOOL TranslateMessage(const MSG* m);
}  // namespace os

#endif

// Scaling, on both sides a function of ours with the Win32 name and call form.
// On Windows each is bound at its first use from the system's user32.dll,
// where the oldest Windows the program runs on lacks it, and stands in as
// that Windows behaves: a window's DPI is the system's, metrics are the
// system's scaled to the DPI asked for, and no window is per-monitor (v2)
// aware. On Linux the test platform answers from its desktop.
namespace os {
BOOL AreDpiAwarenessContextsEqual(DPI_AWARENESS_CONTEXT a, DPI_AWARENESS_CONTEXT b);
UINT GetDpiForWindow(HWND w);
int GetSystemMetricsForDpi(int index, UINT dpi);
DPI_AWARENESS_CONTEXT GetWindowDpiAwarenessContext(HWND w);
}  // namespace os

// The print spooler, on both sides a function of ours with the Win32 name and
// call form. On Windows it is bound at its first use from the spooler's DLL
// in the system folder (platform/win32/spooler.cpp): the program's folder is
// often a download folder, and Windows would look there first for a DLL that
// is not one of its known system DLLs. On Linux it is the test platform's
// stand-in spooler.
namespace os {
BOOL ClosePrinter(HANDLE printer);
BOOL EndDocPrinter(HANDLE printer);
BOOL EndPagePrinter(HANDLE printer);
BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed, LPDWORD returned);
BOOL GetJobA(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed);
BOOL GetPrinterA(HANDLE printer, DWORD level, LPBYTE buf, DWORD size, LPDWORD needed);
BOOL OpenPrinterA(LPSTR name, HANDLE* printer, LPPRINTER_DEFAULTSA defaults);
DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo);
BOOL StartPagePrinter(HANDLE printer);
BOOL WritePrinter(HANDLE printer, LPVOID buf, DWORD size, LPDWORD written);
}  // namespace os
