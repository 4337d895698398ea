// The entries the concurrent logger test writes: "<tag> <n> <padding>", where
// the padding length varies so writes of many sizes race each other.
#pragma once

#include <string>

inline std::wstring MakeLogText(const std::wstring& tag, int n)
{
    return tag + L" " + std::to_wstring(n) + L" " + std::wstring(50 + (n * 37) % 1500, L'x');
}
