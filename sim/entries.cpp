// The six exported entries of the plotter simulator, in the library's call
// forms. Compiled once per library variant: ZEPL_SIM_WITHOUT_<Entry> leaves
// that entry out, for the binding's missing-entry cases.
#ifdef _WIN32
#define ZEPL_API __declspec(dllexport)
#else
#define ZEPL_API __attribute__((visibility("default")))
#endif
#include "link/zepl_entries.h"

#include "sim/plotter.h"

extern "C" {

#ifndef ZEPL_SIM_WITHOUT_ZEPL_InitDll
int ZEPL_CALL ZEPL_InitDll(char* vendor, int a, int b, int c, int d) {
    return zepl_sim::InitDll(vendor, a, b, c, d);
}
#endif

#ifndef ZEPL_SIM_WITHOUT_ZEPL_EntryUsbCheck
int ZEPL_CALL ZEPL_EntryUsbCheck(char* vendor, char* model, char* description) {
    return zepl_sim::EntryUsbCheck(vendor, model, description);
}
#endif

#ifndef ZEPL_SIM_WITHOUT_ZEPL_OpenUsbEx
int ZEPL_CALL ZEPL_OpenUsbEx(int reserved, int kind, int flags, char* vendor, char* model, char* port) {
    return zepl_sim::OpenUsbEx(reserved, kind, flags, vendor, model, port);
}
#endif

#ifndef ZEPL_SIM_WITHOUT_ZEPL_Write
int ZEPL_CALL ZEPL_Write(int channel, const char* data, int count, int* written, int timeout) {
    return zepl_sim::Write(channel, data, count, written, timeout);
}
#endif

#ifndef ZEPL_SIM_WITHOUT_ZEPL_Read
int ZEPL_CALL ZEPL_Read(int channel, char* buffer, int capacity, int* read, int timeout) {
    return zepl_sim::Read(channel, buffer, capacity, read, timeout);
}
#endif

#ifndef ZEPL_SIM_WITHOUT_ZEPL_Close
int ZEPL_CALL ZEPL_Close(int channel) { return zepl_sim::Close(channel); }
#endif

}  // extern "C"
