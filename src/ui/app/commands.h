// Command numbers of the main window's menus and toolbar, and the program's fixed texts.
#pragma once

namespace zorbek {

namespace cmd {
inline constexpr int kTrayExit = 32772;        // tray menu "退出"
inline constexpr int kAppExit = 57665;         // main menu "退出(&X)"
inline constexpr int kAbout = 57664;           // "关于Zorbek（Zorbek）(&A)..."
inline constexpr int kConvertRamulo = 32887;   // "转换并导入Ramulo数据库"
inline constexpr int kImportDatabase = 32889;  // "导入Zorbek数据库"
inline constexpr int kAutostart = 32894;       // "随WINDOW启动"
inline constexpr int kContact = 32896;         // "联系我"
inline constexpr int kHomePage = 32898;        // "打开主页"
inline constexpr int kSearch = 32903;          // search toolbar, search
inline constexpr int kShowTree = 32904;        // search toolbar, note tree
inline constexpr int kShowHistory = 32949;     // search toolbar, history
inline constexpr int kShowRecycleBin = 32962;  // search toolbar, the recycle bin
}  // namespace cmd

inline constexpr const char* kFrameTitle = "Zorbek(Zorbek)";
inline constexpr const char* kTrayTip = "Zorbek(Zorbek v1.6)";
inline constexpr const char* kAutostartText = "随WINDOW启动";

}  // namespace zorbek
