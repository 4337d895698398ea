#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Plinth.h"
#include "TestSupport.h"

using testsupport::TempDir;

namespace {

const COLORREF kMagenta = RGB(255, 0, 255);

// GetGuiResources is a stub under Wine. There, a GDI handle whose high word
// is zero still names its table slot, so the live objects can be counted.
DWORD CountGdiObjects()
{
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count)
        return count;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
    return count;
}

}  // namespace

TEST(Icon, SavesIconOverBackgroundAsTwentyFourBitBitmapOfItsSize)
{
    TempDir folder;
    const std::wstring path = folder.file(L"icon.bmp");
    HICON hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(hIcon, &info));
    BITMAP bm = {};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    ASSERT_NE(0, CIcon(hIcon).SaveToBitmap(path.c_str(), kMagenta));

    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    ASSERT_GE(bytes.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
    const auto* file = reinterpret_cast<const BITMAPFILEHEADER*>(bytes.data());
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(file + 1);
    EXPECT_EQ(0x4D42, file->bfType);
    EXPECT_EQ(bytes.size(), file->bfSize);
    EXPECT_EQ(bm.bmWidth, header->biWidth);
    EXPECT_EQ(bm.bmHeight, header->biHeight);
    EXPECT_EQ(24, header->biBitCount);
    const size_t stride = (bm.bmWidth * 3 + 3) & ~3u;
    ASSERT_EQ(bytes.size(), file->bfOffBits + stride * bm.bmHeight);

    // Icons leave their corners transparent and draw something in between.
    auto pixel = [&](LONG x, LONG row) {
        const BYTE* p =
            reinterpret_cast<const BYTE*>(bytes.data()) + file->bfOffBits + row * stride + x * 3;
        return RGB(p[2], p[1], p[0]);
    };
    EXPECT_EQ(kMagenta, pixel(0, 0));
    EXPECT_EQ(kMagenta, pixel(bm.bmWidth - 1, bm.bmHeight - 1));
    int drawn = 0;
    for (LONG y = 0; y < bm.bmHeight; ++y)
        for (LONG x = 0; x < bm.bmWidth; ++x)
            drawn += pixel(x, y) != kMagenta;
    EXPECT_GT(drawn, bm.bmWidth * bm.bmHeight / 10);
}

// Failed saves included: the missing folder is found after the drawing.
TEST(Icon, FailsWithoutIconOrWritablePathAndReleasesEveryGdiObject)
{
    TempDir folder;
    const std::wstring path = folder.file(L"icon.bmp");
    const std::wstring badPath = folder.file(L"missing\\icon.bmp");
    EXPECT_EQ(0, CIcon(nullptr).SaveToBitmap(path.c_str(), kMagenta));
    EXPECT_FALSE(FileExists(path.c_str()));

    CIcon icon(LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_EQ(0, icon.SaveToBitmap(nullptr, kMagenta));
    ASSERT_NE(0, icon.SaveToBitmap(path.c_str(), kMagenta));  // first-use allocations
    const DWORD before = CountGdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 50; ++i) {
        ASSERT_NE(0, icon.SaveToBitmap(path.c_str(), RGB(i, 128, 0)));
        ASSERT_EQ(0, icon.SaveToBitmap(badPath.c_str(), RGB(i, 128, 0)));
    }
    EXPECT_EQ(before, CountGdiObjects());
}
