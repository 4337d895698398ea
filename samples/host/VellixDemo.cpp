// VellixDemo: a small host program. It puts "Vellix.Office" into a window
// through Wine's (or Windows') ActiveX container window class AtlAxWin,
// creates a document, types into it, saves, closes and opens it again, and
// writes a picture of the window. Given a WebDAV folder's URL it then shares
// the document there between two controls: the second opens it, the first
// checks it out, types and checks it in, and the second's save is refused
// as a conflict instead of overwriting the first's work.
//
//   VellixDemo.exe <document path> <screenshot .bmp path> [ProgID] [WebDAV folder URL]
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>

#include "module/VellixIdl.h"

namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

const wchar_t kFrameClass[] = L"VellixDemoFrame";
const wchar_t kDemoText[] = L"Vellix 演示文档 - typed into the document.";

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

const int kFirstId = 1, kSecondId = 2;
const int kSecondHeight = 150;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        const int cx = LOWORD(lp), cy = HIWORD(lp);
        HWND second = GetDlgItem(hwnd, kSecondId);
        const int firstHeight = cy - 16 - (second ? kSecondHeight + 8 : 0);
        if (HWND first = GetDlgItem(hwnd, kFirstId)) MoveWindow(first, 8, 8, cx - 16, firstHeight, TRUE);
        if (second) MoveWindow(second, 8, 16 + firstHeight, cx - 16, kSecondHeight, TRUE);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

VARIANT Str(BSTR b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b;
    return v;
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// Types the text as keyboard input into the window that has the focus.
void Type(const wchar_t* text) {
    HWND target = GetFocus();
    for (const wchar_t* p = text; *p; ++p) SendMessageW(target, WM_CHAR, *p, 1);
}

// The document's text, through its automation object.
std::wstring DocumentText(IOffice* office) {
    IDispatch* doc = nullptr;
    std::wstring text = L"<none>";
    if (SUCCEEDED(office->get_OleObject(&doc)) && doc) {
        LPOLESTR name = const_cast<LPOLESTR>(L"Text");
        DISPID id;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(doc->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) &&
            SUCCEEDED(doc->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)) &&
            v.vt == VT_BSTR)
            text = v.bstrVal ? v.bstrVal : L"";
        VariantClear(&v);
        doc->Release();
    }
    return text;
}

// The window's pixels from the screen into a 24-bit bitmap file.
bool SaveScreenshot(HWND hwnd, const wchar_t* path) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, cx, cy, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    DWORD row = (cx * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + row * cy;
    bool ok = false;
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD n = 0;
        ok = WriteFile(f, &fh, sizeof(fh), &n, nullptr) && WriteFile(f, &bi.bmiHeader, sizeof(bi.bmiHeader), &n, nullptr) &&
             WriteFile(f, bits, row * cy, &n, nullptr);
        CloseHandle(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

// Wine's AtlAxWin hands its control an extent in hundredths of an inch
// instead of HIMETRIC; the document rectangle follows the extent, so set
// the right one (no later resize of the container window undoes it).
void FixExtent(IUnknown* control, HWND ax) {
    RECT rc;
    GetClientRect(ax, &rc);
    HDC screen = GetDC(nullptr);
    SIZEL ext = {MulDiv(rc.right, 2540, GetDeviceCaps(screen, LOGPIXELSX)),
                 MulDiv(rc.bottom, 2540, GetDeviceCaps(screen, LOGPIXELSY))};
    ReleaseDC(nullptr, screen);
    IOleObject* obj = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&obj)))) {
        obj->SetExtent(DVASPECT_CONTENT, &ext);
        obj->Release();
    }
}

int Fail(const char* step, HRESULT hr) {
    std::printf("VellixDemo: %s failed (0x%08lX)\n", step, static_cast<unsigned long>(hr));
    return 1;
}

const wchar_t kWebText[] = L" Checked out, edited and checked in.";
const wchar_t kLateText[] = L" A late edit from a second window.";

std::wstring ErrorText() {
    IErrorInfo* info = nullptr;
    std::wstring text;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR desc = nullptr;
        if (SUCCEEDED(info->GetDescription(&desc)) && desc) text = desc;
        SysFreeString(desc);
        info->Release();
    }
    return text;
}

// The open document shared on a WebDAV folder: PUT there; a second control
// opens it; this one checks it out, types and checks it in; the second one,
// edited meanwhile, tries to save over it and is told of the conflict.
int WebRoundTrip(IOffice* office, IOffice* other, const std::wstring& folder) {
    IOffice3* first = nullptr;
    IOffice3* second = nullptr;
    HRESULT hr = office->QueryInterface(IID_IOffice3, reinterpret_cast<void**>(&first));
    if (SUCCEEDED(hr)) hr = other->QueryInterface(IID_IOffice3, reinterpret_cast<void**>(&second));
    if (FAILED(hr)) {
        if (first) first->Release();
        return Fail("IOffice3", hr);
    }
    int rc = 0;
    BSTR url = SysAllocString((folder + L"/demo.vxp").c_str());
    BSTR put = SysAllocString(L"PUT");
    BSTR response = nullptr;
    long status = 0;
    if (FAILED(hr = first->SaveToURL(url, Missing(), Missing(), Missing(), Str(put), &response))) {
        rc = Fail("SaveToURL (PUT)", hr);
    } else if (FAILED(hr = second->OpenFromURL(url, Missing(), Missing()))) {
        rc = Fail("OpenFromURL in the second window", hr);
    } else if (FAILED(hr = first->CheckOut(url, Missing(), Missing()))) {
        rc = Fail("CheckOut", hr);
    } else {
        first->get_LastHTTPStatus(&status);
        std::printf("CheckOut %ls: HTTP %ld\n", url, status);
        Pump(300);
        Type(kWebText);
        Pump(100);
        VARIANT_BOOL checkedOut = VARIANT_FALSE;
        if (FAILED(hr = first->CheckIn(Missing()))) {
            rc = Fail("CheckIn", hr);
        } else {
            first->get_LastHTTPStatus(&status);
            first->get_CheckedOut(&checkedOut);
            std::printf("CheckIn: HTTP %ld, still checked out: %s\n", status, checkedOut ? "yes" : "no");
            // The second window's user types and saves what it opened
            // before the check-in: refused, nothing of the first's lost.
            UINT hwnd = 0;
            second->get_HWnd(&hwnd);
            // The document's own window, in the middle of the control.
            HWND control = reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd));
            RECT client;
            GetClientRect(control, &client);
            POINT middle = {client.right / 2, client.bottom / 2};
            HWND doc = ChildWindowFromPoint(control, middle);
            SetFocus(doc ? doc : control);
            Pump(100);
            Type(kLateText);
            Pump(100);
            SysFreeString(response);
            response = nullptr;
            hr = second->SaveToURL(url, Missing(), Missing(), Missing(), Str(put), &response);
            second->get_LastHTTPStatus(&status);
            if (SUCCEEDED(hr)) rc = Fail("the second window's save was not refused", E_FAIL);
            else
                std::printf("second window's SaveToURL: 0x%08lX, HTTP %ld, \"%ls\"\n", static_cast<unsigned long>(hr),
                            status, ErrorText().c_str());
        }
    }
    SysFreeString(response);
    SysFreeString(put);
    SysFreeString(url);
    second->Release();
    first->Release();
    return rc;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: VellixDemo <document path> <screenshot .bmp> [ProgID] [web server base URL]\n");
        return 2;
    }
    const wchar_t* docPath = argv[1];
    const wchar_t* shotPath = argv[2];
    const wchar_t* progId = argc > 3 ? argv[3] : L"VellixPad.Document";
    const wchar_t* webBase = argc > 4 ? argv[4] : nullptr;

    OleInitialize(nullptr);
    HMODULE atl = LoadLibraryW(L"atl.dll");
    auto init = atl ? reinterpret_cast<AtlAxWinInitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit"))) : nullptr;
    auto getControl =
        atl ? reinterpret_cast<AtlAxGetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl"))) : nullptr;
    if (!init || !getControl || !init()) return Fail("loading atl.dll", E_FAIL);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassW(&wc);
    HWND frame = CreateWindowW(kFrameClass, L"Vellix 演示", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 20, 720, 520,
                               nullptr, nullptr, wc.hInstance, nullptr);
    HWND ax = CreateWindowW(L"AtlAxWin", L"Vellix.Office", WS_CHILD | WS_VISIBLE, 8, 8, 680, 460, frame,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId)), wc.hInstance, nullptr);
    // The second window, for the shared document on the web server.
    HWND ax2 = webBase ? CreateWindowW(L"AtlAxWin", L"Vellix.Office", WS_CHILD | WS_VISIBLE, 8, 8, 680, 150, frame,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSecondId)), wc.hInstance, nullptr)
                       : nullptr;
    if (ax2) SetWindowPos(frame, nullptr, 0, 0, 720, 520 + kSecondHeight + 8, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(frame, SW_SHOW);
    Pump(300);

    IUnknown* unk = nullptr;
    IOffice* office = nullptr;
    HRESULT hr = getControl(ax, &unk);
    if (SUCCEEDED(hr)) hr = unk->QueryInterface(IID_IOffice, reinterpret_cast<void**>(&office));
    if (FAILED(hr)) return Fail("creating Vellix.Office", hr);

    FixExtent(unk, ax);
    IUnknown* unk2 = nullptr;
    IOffice* office2 = nullptr;
    if (ax2) {
        hr = getControl(ax2, &unk2);
        if (SUCCEEDED(hr)) hr = unk2->QueryInterface(IID_IOffice, reinterpret_cast<void**>(&office2));
        if (FAILED(hr)) return Fail("creating the second Vellix.Office", hr);
        FixExtent(unk2, ax2);
    }

    BSTR prog = SysAllocString(progId);
    BSTR path = SysAllocString(docPath);
    int rc = 0;
    if (FAILED(hr = office->New(prog))) {
        rc = Fail("New", hr);
    } else {
        Pump(300);
        Type(kDemoText);
        Pump(100);
        if (FAILED(hr = office->Save(Str(path), Missing()))) rc = Fail("Save", hr);
        else if (FAILED(hr = office->Close())) rc = Fail("Close", hr);
        else if (FAILED(hr = office->Open(Str(path), Missing()))) rc = Fail("Open", hr);
    }
    Pump(500);
    if (rc == 0 && DocumentText(office) != kDemoText) rc = Fail("reading the reopened text back", E_FAIL);
    if (rc == 0 && office2) {
        rc = WebRoundTrip(office, office2, webBase);
        Pump(300);
        if (rc == 0 && DocumentText(office).find(kWebText + 1) == std::wstring::npos)
            rc = Fail("reading the text typed after CheckOut back", E_FAIL);
    }
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(300);
    if (!SaveScreenshot(frame, shotPath)) rc = Fail("screenshot", E_FAIL);
    if (rc == 0) {
        std::printf("document: %ls\n", docPath);
        std::printf("screenshot: %ls\n", shotPath);
    }

    office->Close();
    office->Release();
    unk->Release();
    if (office2) {
        office2->Close();
        office2->Release();
        unk2->Release();
    }
    SysFreeString(prog);
    SysFreeString(path);
    DestroyWindow(frame);
    Pump(50);
    OleUninitialize();
    return rc;
}
