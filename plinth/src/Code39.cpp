#include "Plinth.h"

#include "BitmapFile.h"
#include "TextConvert.h"
#include "Win32Result.h"

#include <cstring>
#include <vector>

namespace {

// Nine elements per character (bar, space, bar, ... bar), first element in
// the highest bit; a set bit is a wide element. Three of the nine are wide.
struct Code39Symbol {
    char ch;
    unsigned short pattern;
};

const Code39Symbol kSymbols[] = {
    {'0', 0x034}, {'1', 0x121}, {'2', 0x061}, {'3', 0x160}, {'4', 0x031}, {'5', 0x130},
    {'6', 0x070}, {'7', 0x025}, {'8', 0x124}, {'9', 0x064}, {'A', 0x109}, {'B', 0x049},
    {'C', 0x148}, {'D', 0x019}, {'E', 0x118}, {'F', 0x058}, {'G', 0x00D}, {'H', 0x10C},
    {'I', 0x04C}, {'J', 0x01C}, {'K', 0x103}, {'L', 0x043}, {'M', 0x142}, {'N', 0x013},
    {'O', 0x112}, {'P', 0x052}, {'Q', 0x007}, {'R', 0x106}, {'S', 0x046}, {'T', 0x016},
    {'U', 0x181}, {'V', 0x0C1}, {'W', 0x1C0}, {'X', 0x091}, {'Y', 0x190}, {'Z', 0x0D0},
    {'-', 0x085}, {'.', 0x184}, {' ', 0x0C4}, {'$', 0x0A8}, {'/', 0x0A2}, {'+', 0x08A},
    {'%', 0x02A},
};
const unsigned short kStartStop = 0x094;  // '*', only at both ends

// Pixel geometry: 1:3 narrow/wide, one narrow gap between characters, quiet
// zones of ten narrow widths, and a margin above and below the bars.
const LONG kNarrow = 2;
const LONG kWide = 3 * kNarrow;
const LONG kGap = kNarrow;
const LONG kQuiet = 10 * kNarrow;
const LONG kBarHeight = 80;
const LONG kMargin = 5 * kNarrow;
const LONG kCharWidth = 6 * kNarrow + 3 * kWide;

// Keeps the bitmap within a sane size; longer texts cannot be scanned anyway.
const size_t kMaxText = 1000;

bool LookUp(char ch, unsigned short* pPattern)
{
    if (ch >= 'a' && ch <= 'z')
        ch = static_cast<char>(ch - 'a' + 'A');
    for (const Code39Symbol& symbol : kSymbols) {
        if (symbol.ch == ch) {
            *pPattern = symbol.pattern;
            return true;
        }
    }
    return false;
}

// One row of a 1-bit bitmap whose colour table is {black, white}: bars clear
// bits of an all-white row.
class CBarRow {
public:
    explicit CBarRow(LONG width) : m_bytes(plinth::DibStride(width, 1), 0xFF), m_x(kQuiet) {}

    void AddSymbol(unsigned short pattern)
    {
        for (int element = 0; element < 9; ++element) {
            LONG width = (pattern & (0x100 >> element)) ? kWide : kNarrow;
            if (element % 2 == 0)
                Paint(m_x, width);
            m_x += width;
        }
    }
    void AddGap() { m_x += kGap; }
    const std::vector<BYTE>& Bytes() const { return m_bytes; }

private:
    void Paint(LONG x, LONG width)
    {
        for (LONG i = x; i < x + width; ++i)
            m_bytes[i / 8] &= static_cast<BYTE>(~(0x80 >> (i % 8)));
    }

    std::vector<BYTE> m_bytes;
    LONG m_x;
};

}  // namespace

CCode39::CCode39() {}

CCode39::~CCode39() {}

int CCode39::Create(const char* pszText, const char* pszPath)
{
    if (!pszText || !*pszText)
        return E_INVALIDARG;
    if (!pszPath)
        return E_POINTER;

    const size_t cchText = strlen(pszText);
    if (cchText > kMaxText)
        return E_INVALIDARG;
    std::vector<unsigned short> patterns;
    patterns.reserve(cchText + 2);
    patterns.push_back(kStartStop);
    for (size_t i = 0; i < cchText; ++i) {
        unsigned short pattern = 0;
        if (!LookUp(pszText[i], &pattern))
            return E_INVALIDARG;
        patterns.push_back(pattern);
    }
    patterns.push_back(kStartStop);

    std::wstring path;
    if (!plinth::AnsiToWide(pszPath, &path))
        return plinth::LastErrorResult();

    const LONG cSymbols = static_cast<LONG>(patterns.size());
    const LONG width = 2 * kQuiet + cSymbols * kCharWidth + (cSymbols - 1) * kGap;
    const LONG height = kBarHeight + 2 * kMargin;

    CBarRow bars(width);
    for (LONG i = 0; i < cSymbols; ++i) {
        if (i > 0)
            bars.AddGap();
        bars.AddSymbol(patterns[i]);
    }

    const std::vector<BYTE>& barRow = bars.Bytes();
    const size_t stride = barRow.size();
    std::vector<BYTE> bits(stride * height, 0xFF);
    for (LONG y = kMargin; y < kMargin + kBarHeight; ++y)
        memcpy(&bits[y * stride], barRow.data(), stride);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 1;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(bits.size());
    info.biXPelsPerMeter = 3780;  // 96 dpi
    info.biYPelsPerMeter = 3780;
    info.biClrUsed = 2;
    const RGBQUAD colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

    return plinth::WriteBitmapFile(path.c_str(), info, colors, 2, bits.data(), bits.size());
}
