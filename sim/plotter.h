// The simulated plotter, one function per link-library entry with the same
// arguments. A load starts afresh at InitDll (or at the first call of any
// other entry when InitDll was not called).
#pragma once

namespace zepl_sim {

int InitDll(char* vendor, int a, int b, int c, int d);
int EntryUsbCheck(char* vendor, char* model, char* description);
int OpenUsbEx(int reserved, int kind, int flags, char* vendor, char* model, char* port);
int Write(int channel, const char* data, int count, int* written, int timeout);
int Read(int channel, char* buffer, int capacity, int* read, int timeout);
int Close(int channel);

}  // namespace zepl_sim
