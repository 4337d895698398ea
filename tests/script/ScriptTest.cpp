// A script host creates the registered control by ProgID and calls it late-bound.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

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

namespace {

// The fenced examples of one language in the reference, in order.
std::vector<std::string> Examples(const std::string& doc, const std::string& language) {
    std::vector<std::string> out;
    const std::string open = "\n```" + language + "\n";
    for (size_t at = doc.find(open); at != std::string::npos; at = doc.find(open, at + 1)) {
        const size_t start = at + open.size();
        const size_t end = doc.find("\n```", start - 1);
        if (end == std::string::npos) break;
        out.push_back(doc.substr(start, end - start));
    }
    return out;
}

// Examples that need a window, a page, the network or the user (a dialog, a
// program started, a file deleted) are compiled but not run here.
bool RunsHere(const std::string& code) {
    static const std::regex kOutside(
        R"(\.(New|Open|Save|Print|PrintPreview|ShowMenuBar|ShowFileDialog|BrowserForFolder|ShellExecute|)"
        R"(DeleteFile|GetWindow|OpenFromURL|SaveToURL)\b|\bdocument\.)");
    return !std::regex_search(code, kOutside);
}

// A script file in the system's code page, as every script host reads it.
bool WriteScript(const std::wstring& path, const std::string& utf8) {
    return WriteFileBytes(path, Narrow(Widen(utf8), CP_ACP));
}

}  // namespace

// Every example in the reference compiles in its language under Option
// Explicit, and those that need no window run: what they (or their catch)
// meet is the control's own result, never a script error (an undefined name,
// a wrong argument count or type, a member that does not exist).
TEST(ScriptTest, EveryExampleInTheReferenceRunsAsWritten) {
    std::string doc;
    ASSERT_TRUE(ReadFileBytes(ExeDir() + L"\\docs\\api.md", &doc));
    TempDir dir;
    std::string js = R"(var office = new ActiveXObject("Vellix.Office"), failures = 0, ran = 0;
function scriptError(n, e) {
    var h = e.number >>> 0;
    if ((h & 0xFFFF0000) == 0x800A0000 || (h & 0xFFFF0000) == 0x80020000) {
        WScript.Echo("js example " + n + ": " + h.toString(16) + " " + e.message);
        ++failures;
    }
}
function run(n, f) { ++ran; try { f(); } catch (e) { scriptError(n, e); } }
)";
    std::string vb = "Option Explicit\r\nDim office, failures, ran\r\nSet office = CreateObject(\"Vellix.Office\")\r\n"
                     "failures = 0: ran = 0\r\n"
                     "Sub ScriptError(n)\r\n"
                     "  If (Err.Number > 0 And Err.Number < 65536) Or (Err.Number And &HFFFF0000) = &H80020000 Then\r\n"
                     "    WScript.Echo \"vb example \" & n & \": \" & Err.Number & \" \" & Err.Description\r\n"
                     "    failures = failures + 1\r\n"
                     "  End If\r\n"
                     "  Err.Clear\r\nEnd Sub\r\n";
    std::string jsCalls, vbCalls = "On Error Resume Next\r\n";
    const std::regex kCatch(R"(catch \((\w+)\) \{)");
    const std::vector<std::string> jsExamples = Examples(doc, "js"), vbExamples = Examples(doc, "vb");
    for (size_t i = 0; i < jsExamples.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        // What an example's own catch meets is checked too.
        const std::string code = std::regex_replace(jsExamples[i], kCatch, "catch ($1) { scriptError(" + n + ", $1);");
        js += "function example" + n + "() {\n" + code + "\n}\n";
        if (RunsHere(code)) jsCalls += "run(" + n + ", example" + n + ");\n";
    }
    for (size_t i = 0; i < vbExamples.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        vb += "Sub Example" + n + "()\r\n" + vbExamples[i] + "\r\nScriptError " + n + "\r\nEnd Sub\r\n";
        if (RunsHere(vbExamples[i])) vbCalls += "ran = ran + 1: Example" + n + ": ScriptError " + n + "\r\n";
    }
    js += jsCalls + "WScript.Echo(\"ran \" + ran + \", failures \" + failures);\n";
    vb += vbCalls + "WScript.Echo \"ran \" & ran & \", failures \" & failures\r\n";
    EXPECT_GE(jsExamples.size(), 30u);
    EXPECT_GE(vbExamples.size(), 30u);

    for (const wchar_t* name : {L"examples.js", L"examples.vbs"}) {
        SCOPED_TRACE(Narrow(name));
        const std::wstring path = dir.file(name);
        ASSERT_TRUE(WriteScript(path, name[9] == L'j' ? js : vb));
        std::string out;
        EXPECT_EQ(0, RunProcess(L"cscript.exe //nologo \"" + path + L"\"", &out)) << out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(ran (\d+), failures (\d+))"))) << out;
        EXPECT_GE(std::stoi(m[1]), 10) << out;
        EXPECT_EQ("0", m[2].str()) << out;
    }
}
