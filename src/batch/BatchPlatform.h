#pragma once

// What differs between the platforms in Patchtree's own texts and paths.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kChildProgramName = "Patchdoc.exe";
// How the help text names the default log folder and its example folders.
inline constexpr const char* kDefaultLogFolderShown = "c:\\Brambleco\\";
inline constexpr const char* kExampleLogFolder = "c:\\mylogfolder\\";
inline constexpr const char* kExampleLogOption = "c:\\logs";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kChildProgramName = "Patchdoc";
inline constexpr const char* kDefaultLogFolderShown = "~/Brambleco/";
inline constexpr const char* kExampleLogFolder = "/srv/mylogfolder/";
inline constexpr const char* kExampleLogOption = "/srv/logs";
#endif
