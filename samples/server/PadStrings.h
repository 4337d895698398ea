// The texts VellixPad shows or writes, in one place.
#pragma once

namespace padtext {

inline constexpr wchar_t kUserTypeFull[] = L"VellixPad Document";
inline constexpr wchar_t kClipboardFormat[] = L"VellixPad.Document";
inline constexpr wchar_t kDefaultFileName[] = L"*.vxp";
inline constexpr wchar_t kTextStream[] = L"Text";
inline constexpr wchar_t kViewStateStream[] = L"ViewState";
inline constexpr wchar_t kPlainTextExtension[] = L".txt";
inline constexpr wchar_t kFontFace[] = L"宋体";

inline constexpr wchar_t kMenuEdit[] = L"编辑(&E)";
inline constexpr wchar_t kMenuFormat[] = L"格式(&O)";
inline constexpr wchar_t kCmdUndo[] = L"撤销(&U)\tCtrl+Z";
inline constexpr wchar_t kCmdCut[] = L"剪切(&T)\tCtrl+X";
inline constexpr wchar_t kCmdCopy[] = L"复制(&C)\tCtrl+C";
inline constexpr wchar_t kCmdPaste[] = L"粘贴(&P)\tCtrl+V";
inline constexpr wchar_t kCmdDelete[] = L"删除(&L)\tDel";
inline constexpr wchar_t kCmdSelectAll[] = L"全选(&A)\tCtrl+A";
inline constexpr wchar_t kCmdInsertTime[] = L"插入日期和时间(&D)";
inline constexpr wchar_t kCmdUpperCase[] = L"转为大写(&U)";
inline constexpr wchar_t kCmdLowerCase[] = L"转为小写(&L)";
inline constexpr wchar_t kCmdWordWrap[] = L"自动换行(&W)";
inline constexpr wchar_t kCmdClosePreview[] = L"关闭打印预览(&C)";

}  // namespace padtext
