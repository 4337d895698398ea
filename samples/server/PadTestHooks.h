// What tests and benchmarks may set and read on VellixPad from outside:
// the class identities, the switches that make a new document object
// misbehave on purpose, the trace of calls it records, and the export that
// counts live document objects. Shared by the server and tests/fixtures.
#pragma once

#include <windows.h>

namespace vellixpad {

// {44947E65-6633-4EE2-AF5A-F24E2F4F2E5D} VellixPad.Document.1
inline const CLSID CLSID_Document = {0x44947e65, 0x6633, 0x4ee2, {0xaf, 0x5a, 0xf2, 0x4e, 0x2f, 0x4f, 0x2e, 0x5d}};
// {01DE3089-063B-4008-84B3-EE1DD3F20035} Word.Document.Vellix (test classes only)
inline const CLSID CLSID_WordLike = {0x01de3089, 0x063b, 0x4008, {0x84, 0xb3, 0xee, 0x1d, 0xd3, 0xf2, 0x00, 0x35}};
// {3266EB78-8136-422E-AED6-53027F8D76F8} Excel.Sheet.Vellix (test classes only)
inline const CLSID CLSID_ExcelLike = {0x3266eb78, 0x8136, 0x422e, {0xae, 0xd6, 0x53, 0x02, 0x7f, 0x8d, 0x76, 0xf8}};

inline constexpr wchar_t kProgId[] = L"VellixPad.Document.1";
inline constexpr wchar_t kVersionIndependentProgId[] = L"VellixPad.Document";
inline constexpr wchar_t kFileExtension[] = L".vxp";
inline constexpr wchar_t kWordLikeProgId[] = L"Word.Document.Vellix";
inline constexpr wchar_t kExcelLikeProgId[] = L"Excel.Sheet.Vellix";
// DllInstall command line that registers (or removes) the two test classes.
inline constexpr wchar_t kTestClassesInstallArg[] = L"TestClasses";

// Switches: DWORD values under HKCU, read when a document object is created.
// Absent or 0 means off.
inline constexpr wchar_t kSwitchesKey[] = L"Software\\VellixSamples\\VellixPad\\Switches";
inline constexpr wchar_t kNoPersistMoniker[] = L"NoPersistMoniker";
inline constexpr wchar_t kNoPersistFile[] = L"NoPersistFile";
inline constexpr wchar_t kNoPreview[] = L"NoPreview";
inline constexpr wchar_t kNoSavedProperty[] = L"NoSavedProperty";
inline constexpr wchar_t kClientSiteFirst[] = L"ClientSiteFirst";
// Save failures: 1 fails with E_FAIL, any other value is the HRESULT returned.
inline constexpr wchar_t kFailStorageSave[] = L"FailStorageSave";
inline constexpr wchar_t kFailFileSave[] = L"FailFileSave";
inline constexpr wchar_t kFailMonikerSave[] = L"FailMonikerSave";
// The first DoVerbFailCount calls of DoVerb on each object fail (0xFFFFFFFF:
// all of them) with DoVerbFailCode, RPC_E_CALL_REJECTED when that is 0.
inline constexpr wchar_t kDoVerbFailCount[] = L"DoVerbFailCount";
inline constexpr wchar_t kDoVerbFailCode[] = L"DoVerbFailCode";
// Bit n set: OLECMDID n is reported supported but disabled (n < 32).
inline constexpr wchar_t kDisabledCommands[] = L"DisabledCommands";
// A command run with OLECMDEXECOPT_PROMPTUSER answers OLECMDERR_E_CANCELED,
// as when the user cancels its dialog.
inline constexpr wchar_t kCancelPrompt[] = L"CancelPrompt";
// IDocPreviewServer::End raises an access violation after ending the preview.
inline constexpr wchar_t kFaultInPreviewEnd[] = L"FaultInPreviewEnd";

// Trace: DWORD values under HKCU that every document object updates.
inline constexpr wchar_t kTraceKey[] = L"Software\\VellixSamples\\VellixPad\\Trace";
inline constexpr wchar_t kTraceDoVerb[] = L"DoVerb";           // calls, failed ones included
inline constexpr wchar_t kTraceLastVerb[] = L"LastVerb";       // the verb, as a DWORD
inline constexpr wchar_t kTraceInitNew[] = L"InitNew";
inline constexpr wchar_t kTraceLoadStorage[] = L"LoadStorage";
inline constexpr wchar_t kTraceLoadFile[] = L"LoadFile";
inline constexpr wchar_t kTraceLoadMoniker[] = L"LoadMoniker";
inline constexpr wchar_t kTraceSaveStorage[] = L"SaveStorage";  // attempts, failed ones included
inline constexpr wchar_t kTraceSaveFile[] = L"SaveFile";
inline constexpr wchar_t kTraceSaveMoniker[] = L"SaveMoniker";
// 1 when InitNew or Load found a client site already set, else 0.
inline constexpr wchar_t kTraceSiteBeforeInit[] = L"SiteBeforeInit";
inline constexpr wchar_t kTraceContainerApp[] = L"ContainerApp";  // REG_SZ, last SetHostNames
inline constexpr wchar_t kTraceContainerObj[] = L"ContainerObj";  // REG_SZ
// "Exec<n>": commands n that Exec ran (not the refused ones).
inline constexpr wchar_t kTraceExecPrefix[] = L"Exec";
inline constexpr wchar_t kTracePreviewBegin[] = L"PreviewBegin";
inline constexpr wchar_t kTracePreviewEnd[] = L"PreviewEnd";

// LONG WINAPI VellixPadLiveObjects(void): document objects alive in the
// calling process.
inline constexpr char kLiveObjectsExport[] = "VellixPadLiveObjects";
using LiveObjectsFn = LONG(WINAPI*)();

// Window class of the in-place view; it holds one rich edit ("RichEdit20W")
// with the text.
inline constexpr wchar_t kViewWindowClass[] = L"VellixPadView";

// Commands of the server's own menus, for tests that post WM_COMMAND to the
// window named in IOleInPlaceFrame::SetMenu.
enum MenuCommand : UINT {
    kCmdUndo = 0x9C41,
    kCmdCut,
    kCmdCopy,
    kCmdPaste,
    kCmdDelete,
    kCmdSelectAll,
    kCmdInsertTime,
    kCmdUpperCase,
    kCmdLowerCase,
    kCmdWordWrap,
    kCmdClosePreview,
};

// IDocPreviewCallback::Notify event sent when the user closes the preview.
inline constexpr DWORD kPreviewNotifyClosed = 1;

}  // namespace vellixpad
