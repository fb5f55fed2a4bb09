#pragma once

// The fixed texts the program shows in every face (UTF-8).

// Name of the program: the title of its start-up boxes and its application name.
inline constexpr char kAppName[] = "tarvellin";
// Caption of the low-capacity warning box.
inline constexpr char kWarningCaption[] = "残容量警告！！";
// A start that could not set up the sockets.
inline constexpr char kSocketsInitFailed[] = "Windows ｿｹｯﾄの初期化に失敗しました。";
// A start that ran out of memory.
inline constexpr char kOutOfMemory[] = "メモリ不足エラーです。";
