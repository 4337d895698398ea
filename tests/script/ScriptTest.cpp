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

TEST(ScriptTest, AScriptSessionUsesTheMembersThatNeedNoWindow) {
    std::string out;
    int code = RunProcess(L"cscript.exe //nologo \"" + ExeDir() + L"\\scripts\\office_session.js\"", &out);
    EXPECT_EQ(0, code) << out;
    for (const char* line : {"Version: 3.0.3.34", "SetUpdateInfo: ok", "AutoUpdate: ok", "CreateBarCode: true",
                             "barcode file: true", "GetWindow: object",
                             "ExtObject: 80004003",       // no extension object
                             "ActiveDocument: 80041107",  // no document
                             "Saved: 80004003", "Close: ok", "DeleteFile: ok", "after delete: false"})
        EXPECT_NE(std::string::npos, out.find(line)) << line << "\n" << out;
}

// The examples users read and run, in both script languages; a failing
// member reaches each as its HRESULT with a description naming the file.
TEST(ScriptTest, TheExampleScriptsRunInJScriptAndVBScript) {
    const struct {
        const wchar_t* script;
        const char* failureEnd;  // after the description; VBScript adds the source
    } examples[] = {
        {L"example.js", " C:\\no-such-folder\\report.doc"},
        {L"example.vbs", " C:\\no-such-folder\\report.doc (Vellix.Office.1)"},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(Narrow(e.script));
        std::string out;
        int code = RunProcess(L"cscript.exe //nologo \"" + ExeDir() + L"\\scripts\\" + e.script + L"\"", &out);
        EXPECT_EQ(0, code) << out;
        for (const char* line : {"Vellix version 3.0.3.34", "barcode bitmap: ", "icon of .txt files: ",
                                 "the barcode file exists: "})
            EXPECT_NE(std::string::npos, out.find(line)) << line << "\n" << out;
        const std::string prefix = "Open failed: 0x80004005 ";
        const size_t at = out.find(prefix);
        ASSERT_NE(std::string::npos, at) << out;
        std::string report = out.substr(at, out.find_first_of("\r\n", at) - at);
        const std::string end = e.failureEnd;
        ASSERT_GT(report.size(), prefix.size() + end.size()) << "a description: " << report;
        EXPECT_EQ(end, report.substr(report.size() - end.size())) << report;
    }
}

// The demo host: AtlAxWin hosts the control, a document of the sample
// server is created, typed into, saved, closed and opened again, and the
// window is photographed.
TEST(ScriptTest, TheDemoHostRunsADocumentSessionInAContainerWindow) {
    TempDir dir;
    std::wstring doc = dir.file(L"demo.vxp");
    std::wstring shot = dir.file(L"demo.bmp");
    std::string out;
    int code = RunProcess(L"\"" + ExeDir() + L"\\VellixDemo.exe\" \"" + doc + L"\" \"" + shot + L"\"", &out);
    ASSERT_EQ(0, code) << out;
    EXPECT_NE(std::string::npos, out.find("document: ")) << out;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(doc, &bytes));
    EXPECT_EQ(0, bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) << "a compound file";
    ASSERT_TRUE(ReadFileBytes(shot, &bytes));
    EXPECT_GT(bytes.size(), 100000u);
    EXPECT_EQ(0, bytes.compare(0, 2, "BM"));
}
