// Reads what this process appended to a Plinth log file after a point in
// time: each entry is "<timestamp>\t<pid>\t<text>\r\n" in UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace testsupport {

class LogTail {
public:
    // Entries already in the file are not reported.
    explicit LogTail(const std::wstring& path) : m_path(path) {
        std::string bytes;
        if (ReadFileBytes(m_path, &bytes)) m_offset = bytes.size();
    }

    // The texts of the entries this process wrote since construction.
    std::vector<std::wstring> entries() const {
        std::vector<std::wstring> out;
        std::string bytes;
        if (!ReadFileBytes(m_path, &bytes) || bytes.size() < m_offset) return out;
        bytes.erase(0, m_offset);
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        const std::wstring pid = std::to_wstring(GetCurrentProcessId());
        const std::wstring text = Widen(bytes);
        for (size_t pos = 0; pos < text.size();) {
            size_t eol = text.find(L"\r\n", pos);
            if (eol == std::wstring::npos) eol = text.size();
            const std::wstring line = text.substr(pos, eol - pos);
            pos = eol + 2;
            const size_t t1 = line.find(L'\t');
            const size_t t2 = t1 == std::wstring::npos ? t1 : line.find(L'\t', t1 + 1);
            if (t2 != std::wstring::npos && line.compare(t1 + 1, t2 - t1 - 1, pid) == 0)
                out.push_back(line.substr(t2 + 1));
        }
        return out;
    }

private:
    std::wstring m_path;
    size_t m_offset = 0;
};

}  // namespace testsupport
