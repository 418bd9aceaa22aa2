/* A stand-in WINSPOOL.DRV that a test plants beside the program. When it is
 * loaded it appends one line to WINSPOOL.DRV.loaded beside itself, naming
 * the process. Every export jumps on to the same export of the spooler DLL
 * in the system folder, bound by full path: once a module of this name is
 * loaded, the spooler's own components (Wine's print processor) bind to it
 * too, and the process must print as before. A forwarder in the export
 * table cannot do it: "winspool.X" names winspool.dll, and
 * "winspool.drv.X" names this module itself. */
#include <windows.h>

/* The exports, in the order of exports.txt: NAMED(index, "name") for a named
 * export, ORDINAL(index, ordinal) for one without a name. */
#include "thunks.h"

#define NAMED(i, name) name,
#define ORDINAL(i, ordinal) (const char*)(ULONG_PTR)(ordinal),
static const char* const kExports[] = {EXPORTS(NAMED, ORDINAL)};
#undef NAMED
#undef ORDINAL

/* Each thunk jumps through its slot; the slots are filled when the DLL
 * is attached, before anyone can call through it. */
void* thunk_targets[sizeof kExports / sizeof kExports[0]];

#if defined(__x86_64__)
#define JUMP(i) "jmp *thunk_targets+8*" #i "(%rip)\n"
#define SYMBOL(s) #s
#else
#define JUMP(i) "jmp *_thunk_targets+4*" #i "\n"
#define SYMBOL(s) "_" #s
#endif
#define THUNK_ASM(i, ignored) \
    __asm__(".text\n.globl " SYMBOL(thunk_##i) "\n" SYMBOL(thunk_##i) ":\n" JUMP(i));
EXPORTS(THUNK_ASM, THUNK_ASM)

static void Append(HINSTANCE self, const char* line) {
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    lstrcatA(path, ".loaded");
    HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(f, line, lstrlenA(line), &written, NULL);
    CloseHandle(f);
}

static BOOL Bind(void) {
    char path[MAX_PATH + 16];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    lstrcatA(path, "\\winspool.drv");
    HMODULE system = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!system) return FALSE;
    for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i)
        thunk_targets[i] = (void*)GetProcAddress(system, kExports[i]);
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char line[MAX_PATH + 64];
    lstrcpyA(line, "loaded into ");
    DWORD n = GetModuleFileNameA(NULL, line + lstrlenA(line), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) lstrcatA(line, "?");
    lstrcatA(line, Bind() ? "\r\n" : "; the system's spooler DLL not bound\r\n");
    Append(self, line);
    DisableThreadLibraryCalls(self);
    return TRUE;
}
