// A function of a DLL bound at run time into a pointer of its own type; null
// where the DLL lacks it.
#pragma once

#include "platform/os.h"

template <typename Fn>
void BindEntry(HMODULE dll, const char* name, Fn* entry) {
    *entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}
