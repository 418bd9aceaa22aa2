#include "platform/afx.h"

BOOL CFileFind::FindFile(const char* pattern) {
    Close();
    m_hFind = os::FindFirstFileA(pattern, &m_next);
    m_haveNext = (m_hFind != INVALID_HANDLE_VALUE);
    return m_haveNext ? TRUE : FALSE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_haveNext) return FALSE;
    m_current = m_next;
    m_haveNext = os::FindNextFileA(m_hFind, &m_next) != FALSE;
    return m_haveNext ? TRUE : FALSE;
}

void CFileFind::Close() {
    if (m_hFind != INVALID_HANDLE_VALUE) os::FindClose(m_hFind);
    m_hFind = INVALID_HANDLE_VALUE;
    m_haveNext = false;
}

BOOL CFile::Open(const char* name, UINT flags) {
    Close();
    DWORD share = 0;
    switch (flags & 0x70) {
        case shareDenyWrite: share = FILE_SHARE_READ; break;
        case shareDenyRead: share = FILE_SHARE_WRITE; break;
        case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
        default: share = 0; break;
    }
    m_hFile = os::CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}

BOOL CFile::Read(void* buffer, DWORD count, DWORD* read) {
    *read = 0;
    if (m_hFile == INVALID_HANDLE_VALUE) return FALSE;
    return os::ReadFile(m_hFile, buffer, count, read, nullptr);
}

BOOL CFile::GetLength(uint64_t* length) const {
    if (m_hFile == INVALID_HANDLE_VALUE) return FALSE;
    DWORD high = 0;
    os::SetLastError(ERROR_SUCCESS);
    const DWORD low = os::GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && os::GetLastError() != ERROR_SUCCESS) return FALSE;
    *length = (static_cast<uint64_t>(high) << 32) | low;
    return TRUE;
}

BOOL CFile::Close() {
    if (m_hFile == INVALID_HANDLE_VALUE) return TRUE;
    const BOOL ok = os::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    return ok;
}
