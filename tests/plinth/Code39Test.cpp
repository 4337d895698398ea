#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Plinth.h"
#include "TestSupport.h"

using testsupport::Narrow;
using testsupport::TempDir;

namespace {

// The Code 39 symbology: bar, space, bar, ... bar; 'w' marks a wide element.
const std::map<std::string, char> kCode39 = {
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
std::string Decode(const std::wstring& path, LONG* pBarHeight)
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
    *pBarHeight = 0;
    for (LONG y = 0; y < height; ++y)
        *pBarHeight += dark(firstBar, y);

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
        auto it = kCode39.find(pattern);
        text += it == kCode39.end() ? '?' : it->second;
        if (start + 19 < runs.size() && runs[start + 9] * 4 > narrow * 7)
            return "<wide gap>";
    }
    if (text.size() < 2 || text.front() != '*' || text.back() != '*')
        return "<no start/stop: " + text + ">";
    return text.substr(1, text.size() - 2);
}

}  // namespace

TEST(Code39, WritesBitmapsThatDecodeToTheUpperCasedText)
{
    TempDir folder;
    const char* const kAll = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {{kAll, kAll}, {"Vellix-2024 a.b", "VELLIX-2024 A.B"}, {"7", "7"}};
    for (const auto& c : cases) {
        const std::wstring path = folder.file(L"code.bmp");
        ASSERT_EQ(0, CCode39().Create(c.text, Narrow(path, CP_ACP).c_str())) << c.text;
        LONG barHeight = 0;
        EXPECT_EQ(c.expected, Decode(path, &barHeight));
        EXPECT_GE(barHeight, 30) << c.text;
    }
}

TEST(Code39, RejectsBadInputWithoutWritingAFile)
{
    TempDir folder;
    const std::string path = Narrow(folder.file(L"bad.bmp"), CP_ACP);
    CCode39 code;
    for (const char* text : {"AB*C", "a_b", "\xE9t\xE9", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(E_INVALIDARG, code.Create(text, path.c_str()));
        EXPECT_FALSE(FileExists(folder.file(L"bad.bmp").c_str()));
    }
    EXPECT_EQ(E_POINTER, code.Create("ABC", nullptr));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              code.Create("ABC", Narrow(folder.file(L"missing\\x.bmp"), CP_ACP).c_str()));
    const std::wstring longName = std::wstring(400, L'x') + L".bmp";
    EXPECT_LT(code.Create("ABC", Narrow(folder.file(longName), CP_ACP).c_str()), 0);
}
