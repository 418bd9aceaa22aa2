// The six entries of the plotter maker's USB link library, declared once.
// Every caller, and the plotter simulator that stands in for the library,
// uses exactly these call forms. A library of another calling convention is
// served by changing ZEPL_CALL here and nowhere else.
#pragma once

#include "platform/os.h"

#define ZEPL_CALL WINAPI
#ifndef ZEPL_API
#define ZEPL_API
#endif

#define ZEPL_LIBRARY_NAME "ZEPLPRNP.DLL"

// Channel kinds of ZEPL_OpenUsbEx, and the flag passed with both.
enum : int { ZEPL_CHANNEL_WRITE = 0, ZEPL_CHANNEL_READ = 1, ZEPL_OPEN_FLAGS = 0x40000000 };
// A channel that was not opened.
enum : int { ZEPL_NO_CHANNEL = -1 };

extern "C" {
// Initialises the library for vendor; exactly 1 means accepted.
ZEPL_API int ZEPL_CALL ZEPL_InitDll(char* vendor, int a, int b, int c, int d);
// Without description: number of attached plotters of vendor and model.
// With a 384-byte description: fills it; the port name stands at offset 256.
ZEPL_API int ZEPL_CALL ZEPL_EntryUsbCheck(char* vendor, char* model, char* description);
// Opens a write (kind 0) or read (kind 1) channel; -1 when none was opened.
ZEPL_API int ZEPL_CALL ZEPL_OpenUsbEx(int reserved, int kind, int flags, char* vendor, char* model, char* port);
// 0 when written; *written receives the count the library took.
ZEPL_API int ZEPL_CALL ZEPL_Write(int channel, const char* data, int count, int* written, int timeout);
// 0 when read; *read receives the count placed in buffer.
ZEPL_API int ZEPL_CALL ZEPL_Read(int channel, char* buffer, int capacity, int* read, int timeout);
ZEPL_API int ZEPL_CALL ZEPL_Close(int channel);
}

typedef decltype(&ZEPL_InitDll) PFN_ZEPL_InitDll;
typedef decltype(&ZEPL_EntryUsbCheck) PFN_ZEPL_EntryUsbCheck;
typedef decltype(&ZEPL_OpenUsbEx) PFN_ZEPL_OpenUsbEx;
typedef decltype(&ZEPL_Write) PFN_ZEPL_Write;
typedef decltype(&ZEPL_Read) PFN_ZEPL_Read;
typedef decltype(&ZEPL_Close) PFN_ZEPL_Close;
