// The debug log: one plain-text file "Dbg.Log" in the working directory (or
// the folder a front end names), rotated over three runs, written line by
// line from any thread. Called by every layer; never from the per-buffer
// render work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

// Null means logging is off (before open, after close, or when the file
// could not be created).
extern FILE* g_pDbgFile;
// Null when the file could not be created; writers then skip locking.
extern std::mutex* g_hDbgMutex;

// Composition buffer sizes, terminating zero included.
constexpr size_t kDbgLineSize = 1024;
constexpr size_t kDbgLabelIntSize = 160;
constexpr size_t kDbgTwoIntsSize = 256;
constexpr size_t kDbgLabelDoubleSize = 256;
constexpr size_t kDbgIntTextSize = 16;
constexpr size_t kDbgDoubleTextSize = 64;
constexpr size_t kDbgDateSize = 64;

// The folder of the log files from the next DbgLogOpen on, created then
// when missing; null or "" is the working directory. Before DbgLogOpen.
void DbgLogSetFolder(const char* folder);
// The full path of "Dbg.Log", for messages that send the user there.
std::string DbgLogPath();

// A "Dbg.Log" that is there but no regular file (a FIFO, a device) is left
// alone: one line on stderr, and logging stays off as for a file that cannot
// be created.
void DbgLogOpen();
void DbgLogClose();

void DbgLog(const char* text);
void DbgLogText(const char* text);
void DbgLogInt(const char* label, int32_t value);
void DbgLogIntPart(const char* label, int32_t value);
void DbgLogTwoInts(const char* label1, const char* label2, int32_t value1, int32_t value2);
void DbgLogDouble(const char* label, double value, int32_t decimals);
void DbgLogDate();
void DbgLogTime();

// Fixed-point text of value rounded to `decimals` places; "12." for 12.0 with
// no decimals. Writes at most size - 1 characters and a terminating zero.
// Negative counts are taken as zero.
void DbgFormatFixed(char* out, size_t size, double value, int32_t decimals);

// The clock-free halves of DbgLogDate and DbgLogTime, so the formats can be
// checked at a fixed time.
void DbgFormatDate(char* out, size_t size, const std::tm& local);
void DbgFormatTime(char* out, size_t size, const std::tm& local, int32_t milliseconds);
