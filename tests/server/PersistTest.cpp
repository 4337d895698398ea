// The document in its container's storage, in files of its own and
// behind monikers, as a container drives it.
#include "PadTestSupport.h"

using namespace padtest;
using namespace testsupport;
using vellixpad::fixture::Trace;

namespace {

const std::wstring kText = L"第一行 VellixPad\r\nsecond line";

class PadPersist : public PadTest {
protected:
    TempDir m_dir{L"vxpad"};
};

std::string Utf8(const std::wstring& s) { return Narrow(s, CP_UTF8); }

TEST_F(PadPersist, StorageRoundTripKeepsTextClassAndDirtyState) {
    fw::com_ptr<IStorage> stg;
    fw::com_ptr<IOleObject> obj = NewDocument(L"", &stg);
    ASSERT_TRUE(obj);
    fw::com_ptr<IPersistStorage> ps = obj.query<IPersistStorage>();
    // Never written anywhere yet: dirty, so that a container saves it once.
    EXPECT_EQ(S_OK, ps->IsDirty());
    EXPECT_FALSE(Saved(obj.get()));

    SetText(obj.get(), kText);
    ASSERT_EQ(S_OK, ps->Save(stg.get(), TRUE));
    EXPECT_EQ(S_OK, ps->SaveCompleted(nullptr));
    EXPECT_EQ(S_FALSE, ps->IsDirty());
    EXPECT_TRUE(Saved(obj.get()));
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, ReadClassStg(stg.get(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));

    fw::com_ptr<IPersistStorage> other = CreatePad<IPersistStorage>();
    ASSERT_EQ(S_OK, other->Load(stg.get()));
    EXPECT_EQ(kText, Text(other.get()));
    EXPECT_EQ(S_FALSE, other->IsDirty());
    EXPECT_EQ(1u, Trace(vellixpad::kTraceInitNew));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadStorage));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveStorage));

    // A save into another storage (a copy) leaves the document dirty.
    SetText(other.get(), L"changed");
    fw::com_ptr<IStorage> copy = NewMemoryStorage();
    ASSERT_EQ(S_OK, other->Save(copy.get(), FALSE));
    EXPECT_EQ(S_OK, other->SaveCompleted(nullptr));
    EXPECT_EQ(S_OK, other->IsDirty());
}

// The bytes of a stream inside stg (a path of storage names, then the
// stream's name); empty when it is missing.
std::string StreamBytes(IStorage* stg, std::initializer_list<const wchar_t*> path) {
    fw::com_ptr<IStorage> cur(stg);
    const wchar_t* const* name = path.begin();
    for (; name + 1 != path.end(); ++name) {
        fw::com_ptr<IStorage> sub;
        if (FAILED(cur->OpenStorage(*name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, sub.put())))
            return std::string();
        cur = sub;
    }
    fw::com_ptr<IStream> stm;
    if (FAILED(cur->OpenStream(*name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stm.put()))) return std::string();
    std::string bytes;
    char buf[4096];
    ULONG got = 0;
    while (SUCCEEDED(stm->Read(buf, sizeof(buf), &got)) && got) bytes.append(buf, got);
    return bytes;
}

std::string FileStreamBytes(const std::wstring& path, std::initializer_list<const wchar_t*> streamPath) {
    fw::com_ptr<IStorage> stg;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, stg.put())))
        return std::string();
    return StreamBytes(stg.get(), streamPath);
}

// Equality of large byte strings without printing them.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size() << " were expected";
}

HRESULT PutStream(IStorage* stg, const wchar_t* name, const std::string& bytes) {
    fw::com_ptr<IStream> stm;
    HRESULT hr = stg->CreateStream(name, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stm.put());
    if (FAILED(hr)) return hr;
    return stm->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
}

// Streams and storages that another program keeps in the document (a
// container's, an add-in's) survive every way the document is written:
// into another storage, into a file, and from a file loaded by name into
// another file or over itself.
TEST_F(PadPersist, ForeignElementsTravelWithTheDocument) {
    std::string payload(300 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 2654435761u) >> 13);
    fw::com_ptr<IStorage> stg;
    {
        fw::com_ptr<IOleObject> writer = NewDocument(kText, &stg);
        ASSERT_TRUE(writer);
        ASSERT_EQ(S_OK, writer.query<IPersistStorage>()->Save(stg.get(), TRUE));
        ASSERT_EQ(S_OK, writer.query<IPersistStorage>()->SaveCompleted(nullptr));
    }
    ASSERT_EQ(S_OK, PutStream(stg.get(), L"Payload", payload));
    fw::com_ptr<IStorage> extra;
    ASSERT_EQ(S_OK, stg->CreateStorage(L"Extra", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, extra.put()));
    ASSERT_EQ(S_OK, PutStream(extra.get(), L"Inner", "inner bytes"));
    extra.reset();

    fw::com_ptr<IPersistStorage> doc = CreatePad<IPersistStorage>();
    ASSERT_EQ(S_OK, doc->Load(stg.get()));
    SetText(doc.get(), L"edited");
    fw::com_ptr<IStorage> copy = NewMemoryStorage();
    ASSERT_EQ(S_OK, doc->Save(copy.get(), FALSE));
    ASSERT_EQ(S_OK, doc->SaveCompleted(nullptr));
    EXPECT_TRUE(SameBytes(payload, StreamBytes(copy.get(), {L"Payload"})));
    EXPECT_EQ("inner bytes", StreamBytes(copy.get(), {L"Extra", L"Inner"}));
    fw::com_ptr<IPersistStorage> reread = CreatePad<IPersistStorage>();
    ASSERT_EQ(S_OK, reread->Load(copy.get()));
    EXPECT_EQ(L"edited", Text(reread.get())) << "our text, not the old copy of it";

    const std::wstring file = m_dir.file(L"foreign.vxp");
    ASSERT_EQ(S_OK, doc.query<IPersistFile>()->Save(file.c_str(), FALSE));
    EXPECT_TRUE(SameBytes(payload, FileStreamBytes(file, {L"Payload"})));
    EXPECT_EQ("inner bytes", FileStreamBytes(file, {L"Extra", L"Inner"}));

    // Loaded by name: the file itself is replaced by the next save.
    fw::com_ptr<IPersistFile> byName = CreatePad<IPersistFile>();
    ASSERT_EQ(S_OK, byName->Load(file.c_str(), STGM_READWRITE));
    SetText(byName.get(), L"again");
    ASSERT_EQ(S_OK, byName->Save(nullptr, TRUE));
    EXPECT_TRUE(SameBytes(payload, FileStreamBytes(file, {L"Payload"})));
    const std::wstring other = m_dir.file(L"other.vxp");
    ASSERT_EQ(S_OK, byName->Save(other.c_str(), TRUE));
    EXPECT_TRUE(SameBytes(payload, FileStreamBytes(other, {L"Payload"})));
    EXPECT_EQ("inner bytes", FileStreamBytes(other, {L"Extra", L"Inner"}));
}

TEST_F(PadPersist, StorageProtocolRefusesCallsOutOfOrder) {
    fw::com_ptr<IPersistStorage> ps = CreatePad<IPersistStorage>();
    fw::com_ptr<IStorage> stg = NewMemoryStorage();
    EXPECT_EQ(E_UNEXPECTED, ps->Save(stg.get(), TRUE));
    EXPECT_EQ(E_UNEXPECTED, ps->HandsOffStorage());
    ASSERT_EQ(S_OK, ps->InitNew(stg.get()));
    EXPECT_EQ(CO_E_ALREADYINITIALIZED, ps->InitNew(stg.get()));
    EXPECT_EQ(CO_E_ALREADYINITIALIZED, ps->Load(stg.get()));
    EXPECT_EQ(E_UNEXPECTED, ps->SaveCompleted(nullptr));

    // Hands off: no saving until a new storage is handed back.
    EXPECT_EQ(S_OK, ps->HandsOffStorage());
    EXPECT_EQ(E_UNEXPECTED, ps->Save(stg.get(), TRUE));
    EXPECT_EQ(E_INVALIDARG, ps->SaveCompleted(nullptr));
    fw::com_ptr<IStorage> fresh = NewMemoryStorage();
    EXPECT_EQ(S_OK, ps->SaveCompleted(fresh.get()));
    EXPECT_EQ(S_OK, ps->Save(fresh.get(), TRUE));

    // A storage without the text stream is not a VellixPad document.
    fw::com_ptr<IPersistStorage> other = CreatePad<IPersistStorage>();
    EXPECT_EQ(STG_E_FILENOTFOUND, other->Load(NewMemoryStorage().get()));
}

TEST_F(PadPersist, PlainTextFilesLoadInTheCommonEncodings) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
    };
    std::string utf16 = "\xFF\xFE";
    for (wchar_t ch : kText) utf16.append(reinterpret_cast<const char*>(&ch), 2);
    std::string ansi = "caf\xE9";  // not UTF-8
    const Case cases[] = {
        {"utf8-bom", "\xEF\xBB\xBF" + Utf8(kText), kText},
        {"utf8", Utf8(kText), kText},
        {"utf16", utf16, kText},
        {"ansi", ansi, Widen(ansi, CP_ACP)},
        {"empty", "", L""},
    };
    for (const Case& c : cases) {
        std::wstring path = m_dir.file(Widen(c.name) + L".vxp");
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        fw::com_ptr<IPersistFile> pf = CreatePad<IPersistFile>();
        ASSERT_EQ(S_OK, pf->Load(path.c_str(), STGM_READ)) << c.name;
        EXPECT_EQ(c.text, Text(pf.get())) << c.name;
        EXPECT_EQ(S_FALSE, pf->IsDirty()) << c.name;
    }
    fw::com_ptr<IPersistFile> pf = CreatePad<IPersistFile>();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), pf->Load(m_dir.file(L"missing.vxp").c_str(), STGM_READ));
}

TEST_F(PadPersist, FilesAreCompoundUnlessNamedTxtAndGetClassFileFindsBoth) {
    fw::com_ptr<IOleObject> obj = NewDocument(kText);
    fw::com_ptr<IPersistFile> pf = obj.query<IPersistFile>();
    fw::unique_cotaskmem cur;
    EXPECT_EQ(S_FALSE, pf->GetCurFile(reinterpret_cast<LPOLESTR*>(cur.put())));

    const std::wstring doc = m_dir.file(L"doc.vxp");
    ASSERT_EQ(S_OK, pf->Save(doc.c_str(), TRUE));
    EXPECT_EQ(S_OK, StgIsStorageFile(doc.c_str()));
    EXPECT_EQ(S_FALSE, pf->IsDirty());
    EXPECT_EQ(S_OK, pf->GetCurFile(reinterpret_cast<LPOLESTR*>(cur.put())));
    EXPECT_EQ(doc, static_cast<const wchar_t*>(cur.get()));
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, GetClassFile(doc.c_str(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));

    // Saved as a copy: the current file stays.
    const std::wstring txt = m_dir.file(L"copy.txt");
    ASSERT_EQ(S_OK, pf->Save(txt.c_str(), FALSE));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(txt, &bytes));
    EXPECT_EQ("\xEF\xBB\xBF" + Utf8(kText), bytes);
    EXPECT_TRUE(FAILED(GetClassFile(txt.c_str(), &clsid)));
    EXPECT_EQ(S_OK, pf->GetCurFile(reinterpret_cast<LPOLESTR*>(cur.put())));
    EXPECT_EQ(doc, static_cast<const wchar_t*>(cur.get()));

    // A plain file named .vxp is found by its extension, and saving it over
    // itself keeps it plain.
    const std::wstring plain = m_dir.file(L"plain.vxp");
    ASSERT_TRUE(WriteFileBytes(plain, "plain"));
    EXPECT_EQ(S_OK, GetClassFile(plain.c_str(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));
    fw::com_ptr<IPersistFile> plainDoc = CreatePad<IPersistFile>();
    ASSERT_EQ(S_OK, plainDoc->Load(plain.c_str(), STGM_READWRITE));
    SetText(plainDoc.get(), L"plain again");
    ASSERT_EQ(S_OK, plainDoc->Save(nullptr, TRUE));
    ASSERT_TRUE(ReadFileBytes(plain, &bytes));
    EXPECT_EQ("\xEF\xBB\xBF" "plain again", bytes);

    fw::com_ptr<IPersistFile> reread = CreatePad<IPersistFile>();
    ASSERT_EQ(S_OK, reread->Load(doc.c_str(), STGM_READ));
    EXPECT_EQ(kText, Text(reread.get()));
}

// What a container does with a file that is not a compound file: bind a
// file moniker, have the object save itself into a storage, load that.
TEST_F(PadPersist, FileMonikerBindsAPlainFileIntoAStorage) {
    const std::wstring plain = m_dir.file(L"bound.vxp");
    ASSERT_TRUE(WriteFileBytes(plain, Utf8(kText)));
    fw::com_ptr<IMoniker> mk;
    ASSERT_EQ(S_OK, CreateFileMoniker(plain.c_str(), mk.put()));
    fw::com_ptr<IBindCtx> bc;
    ASSERT_EQ(S_OK, CreateBindCtx(0, bc.put()));
    fw::com_ptr<IPersistStorage> bound;
    ASSERT_EQ(S_OK, mk->BindToObject(bc.get(), nullptr, IID_IPersistStorage, bound.put_void()));
    fw::unique_variant name;
    EXPECT_EQ(S_OK, Invoke(bound.get(), L"FullName", DISPATCH_PROPERTYGET, nullptr, name.put()));
    EXPECT_EQ(plain, name->bstrVal);

    fw::com_ptr<IStorage> stg = NewMemoryStorage();
    ASSERT_EQ(S_OK, bound->Save(stg.get(), FALSE));
    ASSERT_EQ(S_OK, bound->SaveCompleted(nullptr));
    fw::com_ptr<IPersistStorage> loaded = CreatePad<IPersistStorage>();
    ASSERT_EQ(S_OK, loaded->Load(stg.get()));
    EXPECT_EQ(kText, Text(loaded.get()));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadFile));
}

TEST_F(PadPersist, MonikerSaveWritesTheFileWithoutAdoptingIt) {
    fw::com_ptr<IOleObject> obj = NewDocument(kText);
    fw::com_ptr<IPersistMoniker> pm = obj.query<IPersistMoniker>();
    ASSERT_TRUE(pm);
    const std::wstring path = m_dir.file(L"moniker.vxp");
    fw::com_ptr<IMoniker> mk;
    ASSERT_EQ(S_OK, CreateFileMoniker(path.c_str(), mk.put()));
    ASSERT_EQ(S_OK, pm->Save(mk.get(), nullptr, FALSE));
    EXPECT_EQ(S_OK, StgIsStorageFile(path.c_str()));
    fw::com_ptr<IMoniker> cur;
    EXPECT_EQ(E_UNEXPECTED, pm->GetCurMoniker(cur.put()));
    EXPECT_EQ(S_OK, pm->IsDirty());

    fw::com_ptr<IPersistMoniker> reader = CreatePad<IPersistMoniker>();
    ASSERT_EQ(S_OK, reader->Load(TRUE, mk.get(), nullptr, STGM_READ));
    EXPECT_EQ(kText, Text(reader.get()));
    ASSERT_EQ(S_OK, reader->GetCurMoniker(cur.put()));
    EXPECT_EQ(S_OK, cur->IsEqual(mk.get()));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveMoniker));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadMoniker));
}

}  // namespace
