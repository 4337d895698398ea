// A script host creates the registered control by ProgID and calls it late-bound.
#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace testsupport;

TEST(ScriptTest, JScriptCreatesTheControlByProgIdAndCallsIt) {
    std::string out;
    int code = RunProcess(L"cscript.exe //nologo \"" + ExeDir() + L"\\scripts\\create_office.js\"", &out);
    EXPECT_EQ(0, code) << out;
    EXPECT_NE(std::string::npos, out.find("office: object")) << out;
    EXPECT_NE(std::string::npos, out.find("site: object")) << out;
    // Without a client site there is no window; Close without a document
    // succeeds every time.
    EXPECT_NE(std::string::npos, out.find("HWnd: 0")) << out;
    EXPECT_NE(std::string::npos, out.find("Close: ok")) << out;
    EXPECT_NE(std::string::npos, out.find("Close again: ok")) << out;
    EXPECT_NE(std::string::npos, out.find("EnableWindow: ok")) << out;
    EXPECT_NE(std::string::npos, out.find("NoSuchMember: 800a01b6")) << out;
    EXPECT_NE(std::string::npos, out.find("done")) << out;
}
