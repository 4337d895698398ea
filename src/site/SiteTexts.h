// The document site's own texts: window class, names, message boxes and log
// formats.
#pragma once

namespace site_text {

inline constexpr wchar_t kWindowClass[] = L"VellixControl";
// Reported to the document server as container application and object name
// when the control gives none.
inline constexpr wchar_t kDefaultHostName[] = L"Vellix控件站点";
// Prefix of the object's sub-storage (and view-state stream) in the root file.
inline constexpr wchar_t kObjectStoragePrefix[] = L"OLEDocument";
// Appended to a save target to name its backup while the save runs.
inline constexpr wchar_t kBackupSuffix[] = L".tmp";

inline constexpr wchar_t kCaptionSaveFailed[] = L"保存失败";
inline constexpr wchar_t kTextSaveFailed[] = L"保存当前文件失败";

inline constexpr wchar_t kLogEnterIPActivateView[] = L"进入: CDocObject::IPActivateView()";
inline constexpr wchar_t kLogExistingView[] = L"else if(m_pdocv) 里面\t ";

}  // namespace site_text
