#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Code39Decode.h"
#include "Plinth.h"
#include "TestSupport.h"

using testsupport::DecodeCode39;
using testsupport::Narrow;
using testsupport::TempDir;

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
        EXPECT_EQ(c.expected, DecodeCode39(path, &barHeight));
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
