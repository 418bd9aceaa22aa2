// Owners for what the spooler lookup and the spooler route acquire: a
// printer handle, closed when its owner goes unless handed on, and a block
// of memory from malloc, freed likewise.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/os.h"

class PrinterHandle {
public:
    PrinterHandle() = default;
    ~PrinterHandle() { Close(); }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;

    // Opens the printer of that name with no printer defaults.
    bool Open(const char* name) {
        Close();
        // The spooler takes the name as a writable string; it gets a copy.
        std::string copy(name ? name : "");
        HANDLE h = nullptr;
        if (!name || !os::OpenPrinterA(&copy[0], &h, nullptr)) return false;
        m_h = h;
        return true;
    }
    HANDLE Get() const { return m_h; }
    // Hands the handle on; the owner no longer closes it.
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void Close() {
        if (m_h) os::ClosePrinter(Release());
    }

private:
    HANDLE m_h = nullptr;
};

struct FreeWithFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocBlock = std::unique_ptr<T, FreeWithFree>;
