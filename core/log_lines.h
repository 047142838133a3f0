#pragma once

// Log texts of the vault model, spelled exactly as the rest of the system and its users'
// log readers know them. "%1" marks where a value goes.
namespace tessaro::loglines {

inline constexpr char kRootCreated[] = "创建根目录成功";
inline constexpr char kRootCreateFailed[] = "创建根目录失败:%1";
inline constexpr char kThumbCreated[] = "创建缩率图目录成功";
inline constexpr char kThumbCreateFailed[] = "创建缩率图目录失败:%1";
inline constexpr char kSavingCatalogue[] = "更新数据库数据";
inline constexpr char kSavingNotes[] = "开始更新Notes数据库";
inline constexpr char kCatalogueSaved[] = "更新Group.plist 成功";
inline constexpr char kVolumePath[] = "path:%1";
inline constexpr char kSelectedList[] = "select:%1";
inline constexpr char kVolumeMounted[] = "插入:%1";
inline constexpr char kVolumeUnmounted[] = "拔出:%1";
inline constexpr char kRootDirPath[] = "rootDirPath :%1";
inline constexpr char kCreateFolderError[] = "createFolder.error:%1";
inline constexpr char kMacAddressFailed[] = "获取MAC地址失败";

// Catalogue files that cannot be used as they are.
inline constexpr char kCatalogueMovedAside[] = "catalogue %1 cannot be read (%2); kept as %3";
inline constexpr char kCatalogueLeftInPlace[] = "catalogue %1 cannot be read (%2); left in place, not overwritten";
inline constexpr char kCatalogueWriteFailed[] = "catalogue not written: %1";
inline constexpr char kCatalogueCompleted[] = "catalogue %1 lacked rows every section has; added: %2";
inline constexpr char kCatalogueSalvaged[] = "catalogue %1: kept %2 groups and %3 items; %4 things unreadable";

// Stored files and walks.
inline constexpr char kStoreSucceeded[] = "成功";
inline constexpr char kStoreFailed[] = "失败：error：%1";
inline constexpr char kReadHandleMissing[] = "readHandle 为空";
inline constexpr char kWriteHandleMissing[] = "writehandle 为空";
inline constexpr char kStoredFileMissing[] = "读取文件出错,文件路径不存在:%1";
inline constexpr char kRestoreTargetMissing[] = "储存文件出错，文件路径不存在：%1";
inline constexpr char kWritePath[] = "writePath:%1";
inline constexpr char kSizePassPath[] = "path ==>> %1";
// Our own lines for what the engine refuses or repairs.
inline constexpr char kStoredFileRefused[] = "stored file refused: %1: %2";
inline constexpr char kRestoredBeside[] = "restored beside the taken location: %1";
inline constexpr char kLeftoverRemoved[] = "removed a leftover partial file: %1";
inline constexpr char kPlainKept[] = "plain file kept, it changed after it was stored: %1";

}  // namespace tessaro::loglines
