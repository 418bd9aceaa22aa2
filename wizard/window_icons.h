// The window's big and small icons, loaded from one icon group at the sizes
// the window's DPI asks for, so that the caption, the taskbar and Alt+Tab
// show an image drawn for that size rather than a stretched one. Owns the
// icons it loaded: they are not shared, so each is destroyed once replaced.
#pragma once

#include "platform/afx.h"

class WindowIcons {
public:
    explicit WindowIcons(UINT groupId) : m_nGroupId(groupId) {}
    ~WindowIcons() { Release(); }
    WindowIcons(const WindowIcons&) = delete;
    WindowIcons& operator=(const WindowIcons&) = delete;

    // Loads both for dpi and sets them on wnd. Where an image cannot be
    // loaded, fallback takes its place.
    void Apply(CWnd& wnd, UINT dpi, HICON fallback);
    // The big icon for the last DPI applied; null when none was loaded.
    HICON Big() const { return m_hBig; }

private:
    void Release();

    UINT m_nGroupId;
    HICON m_hBig = nullptr;
    HICON m_hSmall = nullptr;
};
