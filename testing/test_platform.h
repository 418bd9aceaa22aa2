// The test platform: os:: implemented for Linux against an in-memory desktop.
//
// Windows, dialogs, the message queue, window properties, message boxes,
// named mutexes, the module path, the current folder, string resources and
// sleeping are simulated here; files are real files on disk; libraries are
// loaded with dlopen; the print spooler is a stand-in (spooler.h). A test
// sets the scene through World, runs the wizard's own code, and reads back
// what a user would see.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace testplat {

struct FakeWindow {
    HWND hwnd = nullptr;
    std::string className;  // "#32770" for dialogs
    int id = 0;
    std::string text;
    LONG style = 0;
    LONG exStyle = 0;
    HWND parent = nullptr;  // controls: their dialog
    HWND owner = nullptr;   // top-level windows: their owner
    bool visible = false;
    bool enabled = true;
    bool iconic = false;
    RECT rect{};  // screen coordinates
    std::map<std::string, HANDLE> props;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    int rangeLow = 0, rangeHigh = 100, pos = 0, step = 10;  // progress bars
    bool closeGrayed = false;                              // system menu's Close item
    LONG_PTR msgResult = 0;                                // a dialog's DWLP_MSGRESULT
    HWND lastActivePopup = nullptr;                        // null: the window itself
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR endResult = 0;
    std::vector<HWND> children;  // template order
};

struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct LibraryEvent {
    std::string path;  // as asked for
    DWORD flags;
    bool loaded;       // for loads: whether it succeeded
    bool isFree;       // a FreeLibrary rather than a load
};

struct IconRecord {
    int cx = 0, cy = 0;      // the size it was loaded at
    bool destroyed = false;
};

struct DrawnIcon {
    HICON icon;
    int x, y, cx, cy;
};

struct PostedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

enum class Language { English, Japanese };

class World {
public:
    // --- the scene, set by tests --------------------------------------
    Language language = Language::English;
    std::string modulePath = "/nonexistent/UPDATE.EXE";  // of the program itself
    std::string currentDir = "/";
    std::set<std::string> existingMutexes;  // names held by other processes
    std::set<std::string> lockedFiles;      // paths another program holds open without sharing
    RECT workArea{0, 0, 1024, 738};
    bool iconMissing = false;
    UINT dpi = 96;              // every window's, as GetDpiForWindow answers
    bool perMonitorV2 = true;   // windows are per-monitor (v2) aware; false: per-monitor
    bool fileSizeFails = false;             // GetFileSize fails on every file
    int readFileFailsFrom = 0;              // the n-th ReadFile (from 1) and later ones fail; 0: none
    // The performance counter (microseconds), which the tick count and the
    // local time (from 2026-12-07 10:00:00.000) follow: Sleep moves it, and so
    // does every reading of the counter, by this step (how long the work
    // between two readings takes).
    uint64_t clockMicroseconds = 0;
    uint64_t clockStepMicroseconds = 0;
    // The user's local application data folder (the environment's
    // LOCALAPPDATA); empty: the environment names none.
    std::string localAppData;
    // Answer a message box; default IDOK. Runs while the box is "up".
    std::function<int(const MessageBoxRecord&)> onMessageBox;
    // Runs once the dialog has handled WM_INITDIALOG, before any posted message.
    std::function<void(HWND dialog)> afterInit;
    // Runs whenever the modal loop finds the queue empty, as the user would act.
    // Return false (or leave it unset) to close the dialog with Cancel.
    std::function<bool(HWND dialog)> onIdle;
    // Runs each time the program starts to drain the queue itself (inside a
    // handler, as the transfer does after every chunk), with the dialog that
    // is up: a test sees the middle of long work there and acts as a user
    // would, by posting messages or reading the screen.
    std::function<void(HWND dialog)> onPump;

    // --- what happened, read by tests ---------------------------------
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<LibraryEvent> libraryEvents;
    std::vector<PostedMessage> posted;     // every PostMessageA, in order
    std::vector<std::string> activations;  // "restore", "top", "foreground" with the window's title
    std::vector<std::string> currentDirChanges;
    std::vector<DWORD> sleeps;
    int pumps = 0;       // times the program drained the queue itself
    std::vector<EXECUTION_STATE> executionStates;  // every SetThreadExecutionState, in order
    // Shutdown block reasons: "create <text>" (UTF-8) and "destroy", in order.
    std::vector<std::string> shutdownReasons;
    std::vector<FLASHWINFO> flashes;
    // The taskbar button's progress: "normal", "<percent>", "none", in order.
    std::vector<std::string> taskbar;
    bool taskbarMissing = false;  // the system offers no taskbar progress
    int readFileCalls = 0;
    bool pumpOpen = false;  // internal: a drain has begun and not yet found the queue empty
    std::vector<DrawnIcon> iconsDrawn;
    std::map<HICON, IconRecord> iconsLoaded;  // by LoadImageA, each a new handle
    int dialogsCreated = 0;

    // --- windows --------------------------------------------------------
    std::map<HWND, FakeWindow> windows;
    std::map<HWND, FakeWindow> destroyedWindows;  // as they were when destroyed
    std::vector<HWND> zOrder;  // top-level windows, front first
    std::vector<PostedMessage> queue;
    HWND foreground = nullptr;

    FakeWindow* Find(HWND h);
    // A top-level window of another program, e.g. a running copy's wizard.
    HWND AddTopLevelWindow(const std::string& title, const std::string& propName, bool iconic = false);
};

World& world();
// Back to an empty desktop with default settings. Call at the start of each test.
void Reset();

// Reading back the screen.
HWND Control(HWND dialog, int id);
std::string Text(HWND w);
// The window's own visible state (WS_VISIBLE), independent of its parent.
bool Shown(HWND w);
bool Enabled(HWND w);
// The one dialog window that is up, or null.
HWND CurrentDialog();
// Takes the first queued message (removing it when remove is set); false
// when the queue is empty. The modal loop's own way to the queue.
bool TakeQueued(LPMSG m, bool remove);

// Allocates a handle value that no other part of the test platform uses, with
// the action CloseHandle runs for it (false: CloseHandle fails).
HANDLE NewHandle(std::function<bool()> onClose);
// Forgets a handle without running its action (FindClose and the like).
bool ReleaseHandle(HANDLE h);
// Handles not closed yet, of every kind: a test compares before and after.
size_t OpenHandleCount();

}  // namespace testplat
