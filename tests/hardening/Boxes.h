// The message boxes the control and its site document, as sweep rules.
#pragma once

#include "Fixtures.h"

namespace hardening {
namespace boxes {

const BoxRule kBadArgument = {L"非法参数", L"ProgIDOrTemplate = NULL"};
const BoxRule kCloseFailed = {L"关闭对象失败", L"OLE对象运行错误，被强制关闭"};
const BoxRule kSiteFailed = {L"创建OLE站点对象失败", L"站点组件可能未注册"};
const BoxRule kNoClsid = {L"未知clsid", L"转换clsid失败,Microsoft office可能未安装"};
const BoxRule kNoExtension = {L"Office扩展对象不存在", L"确定系统是否已经安装相应的软件"};
// The caption is the system's text of the failure.
const BoxRule kExtFailed = {nullptr, L"创建扩展对象失败"};
// The caption is the file name.
const BoxRule kOfficeOnly = {nullptr, L"当前控件仅支持Office文档"};
const BoxRule kReadOnly = {L"只读文档", L"不能覆盖原文档"};
const BoxRule kBadPath = {L"文件路径非法", L"创建路径失败"};
const BoxRule kSaveFailed = {L"保存失败", L"保存当前文件失败"};
const BoxRule kNoMemory = {L"内存不足", L"为文件名分配内存失败"};
const BoxRule kNoVersion = {L"未知版本号", L"获取OLE版本失败，不能支持打印预览"};
const BoxRule kOfficeXp = {L"Microsoft office xp OLE error!", L"控件不支持Microsoft Office XP版本的打印预览功能"};
const BoxRule kNeedSp3 = {L"未安装补丁", L"打印预览需要安装Office 2003 service pack 3"};
const BoxRule kNoPreview = {L"不支持的命令", L"OLE对象目前不支持打印预览"};
const BoxRule kWindowTypeUnknown = {L"窗口类型未知", L"试图获取系统未注册的窗口类型失败"};
const BoxRule kWindowClassMissing = {L"创建窗口失败", L"窗口类别不存在"};
const BoxRule kUnknownFile = {L"未知文件", L"打开文件{%s}出错,文件可能不存在"};
// The text is the folder.
const BoxRule kFolderFailed = {L"创建目录失败", nullptr};
const BoxRule kNoIcon = {L"无效图标文件", L"获取文件{%s}的图标失败"};
const BoxRule kIconConvert = {L"未知图标", L"图标转换发生意外..."};

}  // namespace boxes
}  // namespace hardening
