// Private messages between the document site and the control's window.
#pragma once

#include <windows.h>

// Sent by the site when the document server enables or disables modeless
// dialogs: wParam 1, lParam the server's fEnable.
constexpr UINT WM_SITEENABLEMODELESS = WM_USER + 301;  // 0x52D
// Posted: carries an OLE command number to the control's dispatcher.
constexpr UINT WM_DOCCOMMAND = WM_USER + 302;  // 0x52E
// Posted by the site when the server sets its shared menu (wParam the menu,
// lParam 0), and by the control on every size change: rebuild the menu bar.
constexpr UINT WM_MENUBARLAYOUT = WM_USER + 303;  // 0x52F
