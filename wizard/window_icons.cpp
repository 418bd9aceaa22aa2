#include "wizard/window_icons.h"

namespace {
HICON LoadAtDpi(UINT groupId, int widthMetric, int heightMetric, UINT dpi) {
    const char* name = MAKEINTRESOURCEA(groupId);
    // Windows picks the group's image of that size, or scales the nearest.
    return static_cast<HICON>(os::LoadImageA(AfxFindResourceHandle(name, RT_GROUP_ICON), name, IMAGE_ICON,
                                             os::GetSystemMetricsForDpi(widthMetric, dpi),
                                             os::GetSystemMetricsForDpi(heightMetric, dpi), LR_DEFAULTCOLOR));
}
}  // namespace

void WindowIcons::Apply(CWnd& wnd, UINT dpi, HICON fallback) {
    HICON big = LoadAtDpi(m_nGroupId, SM_CXICON, SM_CYICON, dpi);
    HICON small = LoadAtDpi(m_nGroupId, SM_CXSMICON, SM_CYSMICON, dpi);
    wnd.SetIcon(big ? big : fallback, TRUE);
    wnd.SetIcon(small ? small : fallback, FALSE);
    Release();  // the window no longer uses them
    m_hBig = big;
    m_hSmall = small;
}

void WindowIcons::Release() {
    if (m_hBig) os::DestroyIcon(m_hBig);
    if (m_hSmall) os::DestroyIcon(m_hSmall);
    m_hBig = m_hSmall = nullptr;
}
