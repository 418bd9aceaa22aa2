#include <cstdio>
#include <vector>

#include "platform/afx.h"

namespace {
bool IsTrimSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
}  // namespace

BOOL CString::LoadString(UINT id) {
    // Grow until the text fits. A cut text fills the buffer up to its last
    // byte, less what is left of a character that did not fit whole: one
    // byte in a double-byte code page, up to three in UTF-8.
    for (int size = 256; size <= 65536; size *= 2) {
        std::vector<char> buf(static_cast<size_t>(size), '\0');
        int n = os::LoadStringA(AfxGetResourceHandle(), id, buf.data(), size);
        if (n <= 0) {
            m_s.clear();
            return FALSE;
        }
        if (n < size - 4) {
            m_s.assign(buf.data(), static_cast<size_t>(n));
            return TRUE;
        }
    }
    m_s.clear();
    return FALSE;
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) {
        m_s.clear();
    } else {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, args);
        m_s.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
}

void CString::MakeUpper() {
    if (!m_s.empty()) os::CharUpperBuffA(&m_s[0], static_cast<DWORD>(m_s.size()));
}

int CString::Find(char c) const {
    const char s[2] = {c, '\0'};
    return Find(s);
}

int CString::Find(const char* sub) const {
    if (!sub || !*sub) return -1;
    const size_t n = std::char_traits<char>::length(sub);
    const char* begin = m_s.c_str();
    for (const char* p = begin; *p;) {
        if (m_s.compare(static_cast<size_t>(p - begin), n, sub) == 0) return static_cast<int>(p - begin);
        const char* next = os::CharNextA(p);
        p = (next > p) ? next : p + 1;
    }
    return -1;
}

CString CString::Left(int count) const {
    if (count < 0) count = 0;
    return CString(m_s.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const {
    if (first < 0) first = 0;
    if (static_cast<size_t>(first) >= m_s.size()) return CString();
    return CString(m_s.substr(static_cast<size_t>(first)));
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (static_cast<size_t>(count) >= m_s.size()) return *this;
    return CString(m_s.substr(m_s.size() - static_cast<size_t>(count)));
}

void CString::TrimLeft() {
    size_t i = 0;
    while (i < m_s.size() && IsTrimSpace(m_s[i])) ++i;
    m_s.erase(0, i);
}

void CString::TrimRight() {
    size_t n = m_s.size();
    while (n > 0 && IsTrimSpace(m_s[n - 1])) --n;
    m_s.resize(n);
}
