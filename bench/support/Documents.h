// The documents the benchmarks open: VellixPad compound files with a short
// text and one large stream the server keeps but does not show, so that
// storage work dominates every open and save.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

constexpr wchar_t kPayloadStream[] = L"Payload";

// <folder>\doc<mb>mb.vxp, written when missing or of another size.
HRESULT EnsureDocument(const std::wstring& folder, int nMegabytes, std::wstring* pPath);

}  // namespace bench
