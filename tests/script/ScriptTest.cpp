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
    // A member that is reached through dispatch and reports its own result.
    EXPECT_NE(std::string::npos, out.find("Close: 80004001")) << out;
    EXPECT_NE(std::string::npos, out.find("NoSuchMember: 800a01b6")) << out;
    EXPECT_NE(std::string::npos, out.find("done")) << out;
}
