// What the built DLLs carry: exports by name and ordinal, the DLLs they
// import, the resources in Chinese (Simplified) and the version block.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace testsupport;

namespace {

const WORD kLangZhCn = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

// The module mapped as an image without running its entry point.
class Image {
public:
    explicit Image(const std::wstring& name)
        : m_h(LoadLibraryExW((ExeDir() + L"\\" + name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
    ~Image() {
        if (m_h) FreeLibrary(m_h);
    }
    HMODULE get() const { return m_h; }
    const BYTE* base() const { return reinterpret_cast<const BYTE*>(m_h); }
    const IMAGE_DATA_DIRECTORY& dir(int i) const {
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base());
        auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base() + dos->e_lfanew);
        return nt->OptionalHeader.DataDirectory[i];
    }
    template <class T>
    const T* at(DWORD rva) const {
        return reinterpret_cast<const T*>(base() + rva);
    }
    std::vector<std::string> Imports() const {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& d = dir(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (auto imp = at<IMAGE_IMPORT_DESCRIPTOR>(d.VirtualAddress); d.VirtualAddress && imp->Name; ++imp) {
            std::string n = at<char>(imp->Name);
            std::transform(n.begin(), n.end(), n.begin(), ::tolower);
            names.push_back(n);
        }
        return names;
    }

private:
    HMODULE m_h;
};

bool IsSystemDll(const std::string& n) {
    static const char* system[] = {"kernel32.dll", "user32.dll", "gdi32.dll",  "advapi32.dll", "ole32.dll",
                                   "oleaut32.dll", "shell32.dll", "comdlg32.dll", "shlwapi.dll", "version.dll",
                                   "msvcrt.dll",   "oledlg.dll",  "comctl32.dll", "urlmon.dll", "wininet.dll"};
    for (const char* s : system)
        if (n == s) return true;
    return false;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key) {
    wchar_t* value = nullptr;
    UINT len = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &len)) return L"<missing>";
    return std::wstring(value, len && !value[len - 1] ? len - 1 : len);
}

TEST(BinaryTest, VellixExportsExactlyTheFourEntryPointsByOrdinal) {
    Image dll(L"Vellix.DLL");
    ASSERT_TRUE(dll.get());
    const IMAGE_DATA_DIRECTORY& d = dll.dir(IMAGE_DIRECTORY_ENTRY_EXPORT);
    auto exp = dll.at<IMAGE_EXPORT_DIRECTORY>(d.VirtualAddress);
    EXPECT_EQ(1u, exp->Base);
    ASSERT_EQ(4u, exp->NumberOfNames);
    ASSERT_EQ(4u, exp->NumberOfFunctions);
    auto names = dll.at<DWORD>(exp->AddressOfNames);
    auto ordinals = dll.at<WORD>(exp->AddressOfNameOrdinals);
    const char* expected[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (DWORD i = 0; i < 4; ++i) {
        std::string name = dll.at<char>(names[i]);
        // Names are sorted; each maps to its ordinal in this order.
        auto it = std::find(std::begin(expected), std::end(expected), name);
        ASSERT_NE(std::end(expected), it) << name;
        EXPECT_EQ(static_cast<WORD>(it - std::begin(expected)), ordinals[i]) << name;
    }
}

TEST(BinaryTest, TheDllsImportOnlySystemDllsAndPlinth) {
    Image vellix(L"Vellix.DLL");
    Image plinth(L"Plinth.dll");
    ASSERT_TRUE(vellix.get() && plinth.get());
    std::vector<std::string> imports = vellix.Imports();
    EXPECT_NE(imports.end(), std::find(imports.begin(), imports.end(), "plinth.dll"));
    for (const std::string& n : imports) EXPECT_TRUE(n == "plinth.dll" || IsSystemDll(n)) << "Vellix imports " << n;
    for (const std::string& n : plinth.Imports()) EXPECT_TRUE(IsSystemDll(n)) << "Plinth imports " << n;
}

TEST(BinaryTest, ResourcesAreInChineseSimplified) {
    Image dll(L"Vellix.DLL");
    ASSERT_TRUE(dll.get());
    struct {
        LPCWSTR type;
        LPCWSTR name;
    } resources[] = {{L"REGISTRY", MAKEINTRESOURCEW(102)}, {L"REGISTRY", MAKEINTRESOURCEW(104)},
                     {L"TYPELIB", MAKEINTRESOURCEW(1)},    {RT_BITMAP, MAKEINTRESOURCEW(101)},
                     {RT_VERSION, MAKEINTRESOURCEW(1)},    {RT_STRING, MAKEINTRESOURCEW(100 / 16 + 1)}};
    for (auto& r : resources)
        EXPECT_TRUE(FindResourceExW(dll.get(), r.type, r.name, kLangZhCn)) << reinterpret_cast<UINT_PTR>(r.name);

    // The registrar script is plain 8-bit text with the module placeholder.
    HRSRC h = FindResourceExW(dll.get(), L"REGISTRY", MAKEINTRESOURCEW(102), kLangZhCn);
    ASSERT_TRUE(h);
    std::string script(static_cast<const char*>(LockResource(LoadResource(dll.get(), h))), SizeofResource(dll.get(), h));
    EXPECT_NE(std::string::npos, script.find("'%MODULE%, 101'"));
    EXPECT_NE(std::string::npos, script.find("'131473'"));

    // The toolbox bitmap: 16 x 16, 4 bits per pixel.
    h = FindResourceExW(dll.get(), RT_BITMAP, MAKEINTRESOURCEW(101), kLangZhCn);
    auto bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(dll.get(), h)));
    EXPECT_EQ(16, bih->biWidth);
    EXPECT_EQ(16, bih->biHeight);
    EXPECT_EQ(4, bih->biBitCount);

    wchar_t name[32] = {};
    EXPECT_EQ(6, LoadStringW(dll.get(), 100, name, 32));
    EXPECT_STREQ(L"Vellix", name);
}

TEST(BinaryTest, TheVersionBlockCarriesEveryKey) {
    std::wstring path = ExeDir() + L"\\Vellix.DLL";
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(MAKELONG(0, 3), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(34, 3), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VS_FF_DEBUG), fixed->dwFileFlags & fixed->dwFileFlagsMask);

    EXPECT_EQ(L"Vellix Module", VersionString(info, L"FileDescription"));
    EXPECT_EQ(L"3, 0, 3, 34", VersionString(info, L"FileVersion"));
    EXPECT_EQ(L"Vellix", VersionString(info, L"InternalName"));
    EXPECT_EQ(L"Vellix.DLL", VersionString(info, L"OriginalFilename"));
    EXPECT_EQ(L"Vellix Module", VersionString(info, L"ProductName"));
    EXPECT_EQ(L"3, 0, 3, 34", VersionString(info, L"ProductVersion"));
    for (const wchar_t* empty : {L"Comments", L"CompanyName", L"LegalTrademarks", L"PrivateBuild", L"SpecialBuild",
                                 L"OLESelfRegister"})
        EXPECT_EQ(L"", VersionString(info, empty)) << empty;
    EXPECT_NE(L"<missing>", VersionString(info, L"LegalCopyright"));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}

}  // namespace
