// The site lock's table: which members of the control reach the user's
// files, programs or registry, and which calls of them the lock decides.
// Every other member of the script interface is listed as harmless right
// below, so a member added to the interface has to be put in one list or
// the other (a test walks the type library against both).
#pragma once

#include <oaidl.h>

namespace security {

// The numbers the type library gives the gated members.
enum : DISPID {
    DISPID_OFFICE_NEW = 1,
    DISPID_OFFICE_SAVE = 3,
    DISPID_OFFICE_OPEN = 4,
    DISPID_OFFICE_DELETEFILE = 7,
    DISPID_OFFICE_GETWINDOW = 13,
    DISPID_OFFICE_GETFILESYSTEMOBJECT = 18,
    DISPID_OFFICE_SHELLEXECUTE = 20,
    DISPID_OFFICE_SETUPDATEINFO = 26,
    DISPID_OFFICE_AUTOUPDATE = 27,
    DISPID_OFFICE_SETSERVERINFO = 28,
    DISPID_OFFICE_AUTOUPDATEFILE = 29,
    DISPID_OFFICE_OPENFROMURL = 101,
    DISPID_OFFICE_SAVETOURL = 102,
    DISPID_OFFICE_CHECKOUT = 202,
    DISPID_OFFICE_OVERWRITEURL = 207,
};

// Which calls of a gated member the lock decides.
enum class Gate {
    Always,
    // Only when the member's argument is a non-empty string: the script
    // names the path; without one the user picks it in a dialog.
    NamedPath,
    // Only when the control says the script chose where to write: the
    // answer needs the open document, so the control supplies it.
    ScriptChosenSaveTarget,
    // Always, at entry, before any request; every hop of the transfer is
    // checked again where the transfer follows it.
    Url,
};

struct GatedMember {
    DISPID dispid;
    const wchar_t* name;  // as the log line and the error object name it
    Gate gate;
};

// In the order docs/security.md lists them.
inline constexpr GatedMember kGatedMembers[] = {
    {DISPID_OFFICE_DELETEFILE, L"DeleteFile", Gate::Always},
    {DISPID_OFFICE_SHELLEXECUTE, L"ShellExecute", Gate::Always},
    {DISPID_OFFICE_GETWINDOW, L"GetWindow", Gate::Always},
    {DISPID_OFFICE_GETFILESYSTEMOBJECT, L"GetFileSystemObject", Gate::Always},
    {DISPID_OFFICE_NEW, L"New", Gate::Always},
    {DISPID_OFFICE_OPEN, L"Open", Gate::NamedPath},
    {DISPID_OFFICE_SAVE, L"Save", Gate::ScriptChosenSaveTarget},
    {DISPID_OFFICE_SETUPDATEINFO, L"SetUpdateInfo", Gate::Always},
    {DISPID_OFFICE_SETSERVERINFO, L"SetServerInfo", Gate::Always},
    {DISPID_OFFICE_AUTOUPDATE, L"AutoUpdate", Gate::Always},
    {DISPID_OFFICE_AUTOUPDATEFILE, L"AutoUpdateFile", Gate::Always},
    {DISPID_OFFICE_OPENFROMURL, L"OpenFromURL", Gate::Url},
    {DISPID_OFFICE_SAVETOURL, L"SaveToURL", Gate::Url},
    {DISPID_OFFICE_CHECKOUT, L"CheckOut", Gate::Url},
    {DISPID_OFFICE_OVERWRITEURL, L"OverwriteURL", Gate::Url},
};

// Members that reach nothing the page could not reach anyway: they draw,
// print or close, show dialogs the user answers, write bitmaps under a
// fixed temporary folder, report state, or refuse (not implemented).
struct HarmlessMember {
    DISPID dispid;
    const wchar_t* name;
};
inline constexpr HarmlessMember kHarmlessMembers[] = {
    {2, L"Close"},
    {5, L"ExtObject"},
    {6, L"ShowMenuBar"},
    {8, L"GetFileName"},  // a leaf name only, to a refused page
    {10, L"EnableWindow"},
    {12, L"OleObject"},
    {14, L"ShowFileDialog"},  // the script's initial name shrinks to its leaf
    {15, L"EncryptPDF"},
    {16, L"Version"},
    {17, L"AddWatermark"},
    {19, L"PrintPreview"},
    {21, L"GetShellIcon"},
    {22, L"Saved"},
    {24, L"Print"},
    {25, L"HWnd"},
    {30, L"CreateBarCode"},
    {31, L"BrowserForFolder"},
    {32, L"ActiveDocument"},
    {103, L"DocumentURL"},
    {104, L"LastHTTPStatus"},
    {201, L"Silent"},
    // Only to the URL a CheckOut the lock let through reached.
    {203, L"CheckIn"},
    {204, L"UndoCheckOut"},
    {205, L"CheckedOut"},
    {206, L"LockOwner"},
};

// The row of a gated member, or null for any other.
inline const GatedMember* FindGatedMember(DISPID dispid) {
    for (const GatedMember& member : kGatedMembers)
        if (member.dispid == dispid) return &member;
    return nullptr;
}

// What NamedPath rows ask of their argument.
inline bool NamesAPath(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal && v.bstrVal[0]; }

}  // namespace security
