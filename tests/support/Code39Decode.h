// Reads a Code 39 barcode back from a bitmap file, for the tests of the
// writer and of the services that use it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// The Code 39 symbology: bar, space, bar, ... bar; 'w' marks a wide element.
inline const std::map<std::string, char> kCode39Patterns = {
    {"nnnwwnwnn", '0'}, {"wnnwnnnnw", '1'}, {"nnwwnnnnw", '2'}, {"wnwwnnnnn", '3'},
    {"nnnwwnnnw", '4'}, {"wnnwwnnnn", '5'}, {"nnwwwnnnn", '6'}, {"nnnwnnwnw", '7'},
    {"wnnwnnwnn", '8'}, {"nnwwnnwnn", '9'}, {"wnnnnwnnw", 'A'}, {"nnwnnwnnw", 'B'},
    {"wnwnnwnnn", 'C'}, {"nnnnwwnnw", 'D'}, {"wnnnwwnnn", 'E'}, {"nnwnwwnnn", 'F'},
    {"nnnnnwwnw", 'G'}, {"wnnnnwwnn", 'H'}, {"nnwnnwwnn", 'I'}, {"nnnnwwwnn", 'J'},
    {"wnnnnnnww", 'K'}, {"nnwnnnnww", 'L'}, {"wnwnnnnwn", 'M'}, {"nnnnwnnww", 'N'},
    {"wnnnwnnwn", 'O'}, {"nnwnwnnwn", 'P'}, {"nnnnnnwww", 'Q'}, {"wnnnnnwwn", 'R'},
    {"nnwnnnwwn", 'S'}, {"nnnnwnwwn", 'T'}, {"wwnnnnnnw", 'U'}, {"nwwnnnnnw", 'V'},
    {"wwwnnnnnn", 'W'}, {"nwnnwnnnw", 'X'}, {"wwnnwnnnn", 'Y'}, {"nwwnwnnnn", 'Z'},
    {"nwnnnnwnw", '-'}, {"wwnnnnwnn", '.'}, {"nwwnnnwnn", ' '}, {"nwnnwnwnn", '*'},
    {"nwnwnwnnn", '$'}, {"nwnwnnnwn", '/'}, {"nwnnnwnwn", '+'}, {"nnnwnwnwn", '%'},
};

// Reads the bitmap back through GDI (which also proves it is one) and scans
// its middle row: quiet zone, characters of nine elements split by narrow
// gaps, quiet zone. Returns the text between start and stop characters.
inline std::string DecodeCode39(const std::wstring& path, LONG* pBarHeight = nullptr)
{
    HBITMAP hbm = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                  LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!hbm)
        return "<not a bitmap>";
    BITMAP bm = {};
    GetObjectW(hbm, sizeof(bm), &bm);
    const LONG width = bm.bmWidth, height = bm.bmHeight;
    std::vector<DWORD> pixels(width * height);
    BITMAPINFO bmi = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32}};
    HDC hdc = GetDC(nullptr);
    GetDIBits(hdc, hbm, 0, height, pixels.data(), &bmi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, hdc);
    DeleteObject(hbm);
    auto dark = [&](LONG x, LONG y) { return (pixels[y * width + x] & 0xFF) < 128; };

    std::vector<LONG> runs(1, 0);  // light, dark, light, ...
    for (LONG x = 0; x < width; ++x) {
        if (dark(x, height / 2) != (runs.size() % 2 == 0))
            runs.push_back(0);
        ++runs.back();
    }
    if (runs.size() % 10 != 1)
        return "<" + std::to_string(runs.size()) + " runs>";
    const LONG narrow = *std::min_element(runs.begin() + 1, runs.end() - 1);
    if (runs.front() < 10 * narrow || runs.back() < 10 * narrow)
        return "<quiet zone too small>";
    const LONG firstBar = runs.front();
    if (pBarHeight) {
        *pBarHeight = 0;
        for (LONG y = 0; y < height; ++y)
            *pBarHeight += dark(firstBar, y);
    }

    std::string text;
    for (size_t start = 1; start + 9 < runs.size(); start += 10) {
        std::string pattern;
        for (size_t i = start; i < start + 9; ++i) {
            // Wide is 2 to 3 times narrow; nothing may fall in between.
            if (runs[i] * 4 <= narrow * 7)
                pattern += 'n';
            else
                pattern += runs[i] >= 2 * narrow && runs[i] <= 3 * narrow ? 'w' : '?';
        }
        auto it = kCode39Patterns.find(pattern);
        text += it == kCode39Patterns.end() ? '?' : it->second;
        if (start + 19 < runs.size() && runs[start + 9] * 4 > narrow * 7)
            return "<wide gap>";
    }
    if (text.size() < 2 || text.front() != '*' || text.back() != '*')
        return "<no start/stop: " + text + ">";
    return text.substr(1, text.size() - 2);
}

}  // namespace testsupport
