// What the hardening children share: a sandbox of awkward paths, valid
// documents written without any server, the catalogue of argument values,
// the message boxes the control may show, and the control in each of the
// states a sweep visits.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <vector>

#include "TestContainer.h"
#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

namespace hardening {

// ---- documents ------------------------------------------------------------

// A VellixPad document as the server writes it: a compound file naming the
// class (VellixPad's, or one of its look-alike classes), with the text in
// its "Text" stream.
bool WritePadDocument(const std::wstring& path, const std::wstring& text, const CLSID& clsid = GUID_NULL);
// The text of such a document; false when it is not one.
bool ReadPadDocument(const std::wstring& path, std::wstring* pText);
// The text a saved document holds, as a compound file or, for names the
// server keeps as plain text, UTF-8 with a byte-order mark.
bool ReadSavedText(const std::wstring& path, std::wstring* pText);
bool FileBytesEqual(const std::wstring& path, const std::string& bytes);
bool PathExists(const std::wstring& path);
// Files in a folder whose names end in the suffix (".tmp" backups).
std::vector<std::wstring> FilesEndingWith(const std::wstring& folder, const wchar_t* pszSuffix);

// ---- the sandbox ------------------------------------------------------------

// A temporary folder holding the paths a sweep hands over: a valid document,
// one read-only, one locked by an open handle, a folder, a plain text file,
// and names that do not exist, of every awkward length.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Puts back what a sweep step may have deleted or overwritten.
    void Refresh();

    const std::wstring& dir() const { return m_dir.path(); }
    std::wstring file(const std::wstring& name) const { return m_dir.file(name); }

    std::wstring validDoc, readOnlyDoc, lockedDoc, plainText, folder, missing, overLong;
    static const wchar_t kText[];

private:
    // Whether the file is as Refresh last left it (cheap: attributes, size
    // and time only; a sweep refreshes before every call).
    bool Unchanged(const std::wstring& path);
    void Remember(const std::wstring& path);

    testsupport::TempDir m_dir;
    HANDLE m_hLock = INVALID_HANDLE_VALUE;
    std::vector<std::pair<std::wstring, WIN32_FILE_ATTRIBUTE_DATA>> m_known;
};

// A path in the folder padded to exactly cch characters (no such file).
std::wstring PathOfLength(const std::wstring& folder, size_t cch);

// ---- argument values ----------------------------------------------------------

// An IDispatch that has no members; it counts its references and reports a
// release it was not given as a fault.
class CInertDispatch final : public IDispatch {
public:
    CInertDispatch() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* p) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    LONG refs() const { return m_cRef; }

private:
    LONG m_cRef = 1;  // the pool's own
};

struct BstrValue {
    std::wstring label;
    BSTR bstr;  // owned by the pool
};

struct VariantValue {
    std::wstring label;
    VARIANT v;  // references storage owned by the pool
    bool bNonEmptyString = false;  // a VT_BSTR with at least one character
};

// Every BSTR and VARIANT a sweep passes, owned in one place and freed at
// the end; members receive them as [in] and must leave them alone.
class ValuePool {
public:
    explicit ValuePool(const Sandbox& sandbox);
    ~ValuePool();
    ValuePool(const ValuePool&) = delete;
    ValuePool& operator=(const ValuePool&) = delete;

    const std::vector<BstrValue>& bstrs() const { return m_bstrs; }
    const std::vector<VariantValue>& variants() const { return m_variants; }
    IDispatch* dispatch() { return &m_dispatch; }
    // Whether the objects handed out got back every reference they gave.
    std::wstring CheckReferences() const;

private:
    BSTR Own(const std::wstring& s);
    void AddVariant(const std::wstring& label, const VARIANT& v, bool bNonEmptyString = false);

    std::vector<BstrValue> m_bstrs;
    std::vector<VariantValue> m_variants;
    std::vector<BSTR> m_owned;
    std::vector<SAFEARRAY*> m_arrays;
    CInertDispatch m_dispatch;
    // Targets of the VT_BYREF values.
    BSTR m_byrefBstr = nullptr;
    LONG m_byrefLong = 7;
    VARIANT m_byrefVariant = {};
    RECT m_rect = {10, 20, 110, 220};
    CLSID m_clsid = {};
};

// ---- message boxes ----------------------------------------------------------------

// A box a member may show: caption and text, where nullptr matches anything
// and "%s" in a text matches any run of characters. kAnyDialog stands for a
// dialog that is not a message box (a file dialog, the folder picker).
struct BoxRule {
    const wchar_t* caption;
    const wchar_t* text;
};
extern const BoxRule kAnyDialog;
// How often the children's watchers look for boxes: a sweep shows thousands.
const DWORD kBoxPollMs = 5;

bool MatchesRule(const testsupport::DialogRecord& box, const BoxRule& rule);
std::wstring Describe(const testsupport::DialogRecord& box);

// ---- the control in its states ------------------------------------------------------

enum class OfficeState { NoClientSite, NoDocument, DocumentOpen, AfterClose };
const wchar_t* Name(OfficeState state);
bool ParseOfficeState(const std::wstring& s, OfficeState* pState);

class OfficeUnderTest {
public:
    OfficeUnderTest(OfficeState state, Sandbox& sandbox);
    ~OfficeUnderTest();

    IOffice* get() const { return m_office.get(); }
    IDispatch* dispatch() const { return m_office.get(); }
    HWND frame() const { return m_container ? m_container->frame() : nullptr; }
    testsupport::TestContainer* container() const { return m_container.get(); }
    // Brings the control back into its state (a step may have closed or
    // replaced the document); false when that failed.
    bool Restore();
    // The control opens the valid document and saves it to a new file
    // whose content is that document; an empty string when it does, else
    // what went wrong. Hosts a control that has no container first.
    std::wstring CheckOpensAndSaves(const std::wstring& tag);

private:
    OfficeState m_state;
    Sandbox& m_sandbox;
    std::unique_ptr<testsupport::TestContainer> m_container;
    fw::com_ptr<IOffice> m_office;
};

// The control opens the sandbox's valid document and saves it to a new
// file holding that document: empty when it does, else what went wrong.
std::wstring OpensAndSaves(IOffice* office, Sandbox& sandbox, const std::wstring& tag);

using testsupport::Missing;
VARIANT StringVariant(BSTR b);
std::wstring HrText(HRESULT hr);

}  // namespace hardening
