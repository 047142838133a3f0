#pragma once

// Log texts of the main window's commands, spelled exactly as the rest of the system and
// its users' log readers know them. "%1" marks where a value goes.
namespace tessaro::windowlog {

inline constexpr char kAddFileToApp[] = "add file to app";
inline constexpr char kDropFinished[] = "拖拽文件完成";
inline constexpr char kHideAll[] = "都隐藏";
inline constexpr char kUnhideAll[] = "都不隐藏";
inline constexpr char kHideSelected[] = "隐藏选中文件";
inline constexpr char kUnhideSelected[] = "显示选中文件";
inline constexpr char kHideGroup[] = "隐藏本组文件夹";
inline constexpr char kRemoveSelected[] = "移除选中文件";
inline constexpr char kRenameGroup[] = "重命名文件夹";
inline constexpr char kDeleteGroup[] = "删除文件夹";
inline constexpr char kNewGroupCommand[] = "新建文件夹";
inline constexpr char kNewFileGroup[] = "新建分组";
inline constexpr char kNewNotesGroup[] = "新建便签分组";
// A command reached the window's side of an operation the vault library does not run yet.
inline constexpr char kNotConnectedYet[] = "not connected yet: %1";
inline constexpr char kLanguageNotStored[] = "the language choice could not be stored; the next launch may use the previous one";
inline constexpr char kHelpNotOpened[] = "the help page could not be opened: %1";

}  // namespace tessaro::windowlog
