// The floor of the firmware transfer: the file read in 1024-byte pieces, each
// handed to the link library's write entry, with no window and no progress.
// The library is loaded from this program's folder, as the wizard loads it.
//
//   bench_bare_send <firmware-file> <vendor> <model> <port>
//
// Prints key=value lines: chunks, bytes, result (0 when every piece was
// taken whole). Exit code 0 on success.
#include <cstdio>
#include <cstring>

#include "link/zepl_entries.h"

namespace {

const DWORD kChunk = 1024;

template <typename Fn>
bool Resolve(HMODULE lib, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
    return *fn != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_bare_send <firmware-file> <vendor> <model> <port>\n");
        return 1;
    }
    char vendor[256], model[128], port[128];
    std::snprintf(vendor, sizeof vendor, "%s", argv[2]);
    std::snprintf(model, sizeof model, "%s", argv[3]);
    std::snprintf(port, sizeof port, "%s", argv[4]);

    HMODULE lib = LoadLibraryExA(ZEPL_LIBRARY_NAME, nullptr, 0);
    if (!lib) {
        std::printf("result=no_library\n");
        return 1;
    }
    PFN_ZEPL_InitDll init = nullptr;
    PFN_ZEPL_OpenUsbEx open = nullptr;
    PFN_ZEPL_Write write = nullptr;
    PFN_ZEPL_Close close = nullptr;
    if (!Resolve(lib, "ZEPL_InitDll", &init) || !Resolve(lib, "ZEPL_OpenUsbEx", &open) ||
        !Resolve(lib, "ZEPL_Write", &write) || !Resolve(lib, "ZEPL_Close", &close)) {
        std::printf("result=no_entry\n");
        FreeLibrary(lib);
        return 1;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("result=no_file\n");
        FreeLibrary(lib);
        return 1;
    }
    int result = 0;
    unsigned long long chunks = 0, bytes = 0;
    int channel = ZEPL_NO_CHANNEL;
    if (init(vendor, 1, 9100, 0, 0) != 1) {
        result = -2;
    } else if ((channel = open(0, ZEPL_CHANNEL_WRITE, ZEPL_OPEN_FLAGS, vendor, model, port)) == ZEPL_NO_CHANNEL) {
        result = -3;
    } else {
        char buffer[kChunk];
        DWORD got = 0;
        while (ReadFile(file, buffer, kChunk, &got, nullptr) && got > 0) {
            int taken = 0;
            const int r = write(channel, buffer, static_cast<int>(got), &taken, 10000);
            if (r != 0 || taken != static_cast<int>(got)) {
                result = r != 0 ? r : -4;
                break;
            }
            ++chunks;
            bytes += got;
        }
        close(channel);
    }
    CloseHandle(file);
    FreeLibrary(lib);
    std::printf("chunks=%llu\nbytes=%llu\nresult=%d\n", chunks, bytes, result);
    return result == 0 ? 0 : 1;
}
