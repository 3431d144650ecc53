#pragma once
// Log.txt: one plain-text log in the program folder, written by every thread.
// A line is exactly the caller's text (built with vr::format beforehand), with at
// most a fixed prefix; bytes that are not UTF-8, and the control bytes but tab
// and line end (C0, DEL), are written as "\xNN". Before the log is open, or
// after its open failed, every call is a silent no-op.
//
// Writing: a line is queued in order under the log's lock. Without the
// background writer (tests, tools) every line is written and flushed before the
// call returns. With it (the program, startLogWriter) ordinary lines are
// written by the writer thread within a second, so no caller waits on the disk;
// a marked line is written at once, with every line before it, and so is the
// queue when it grows past 1 MB. The queue is written at closeLog, at exit, on
// std::terminate and on a fatal signal.
//
// A run's Log.txt holds at most logCapBytes; the line that would pass the cap is
// replaced by one marked line saying so, and nothing more is written until the
// log is opened again.

#include <cstddef>
#include <filesystem>
#include <string_view>

inline constexpr std::size_t logCapBytes = 20u * 1024 * 1024;

// Keeps two generations (Log0.txt, Log00.txt), opens a new Log.txt in the current
// folder and writes the banner. Throws std::runtime_error("Failed to write file
// Log.txt") when it cannot be opened, and the filesystem error when a backup fails.
void gf_openLog();
// The same in `folder` (tests).
void gf_openLog(const std::filesystem::path& folder);

void logLine(std::string_view text);
// "===> " + text: errors and warnings; on disk when the call returns.
void logLineMarked(std::string_view text);
// Ten blanks + text: detail lines.
void logLineIndented(std::string_view text);
// As logLine, but nothing at all while closingFlag or windowClosedFlag is set.
void logLineIfRunning(std::string_view text);

bool isLogOpen();
// Writes what is queued, stops the writer and closes the log; later calls are
// no-ops until it is opened again.
void closeLog();
// Writes every queued line and flushes the file.
void flushLog();
// Starts the background writer (once the log is open), and the flush at exit,
// on std::terminate and on a fatal signal. stopLogWriter writes what is queued
// and ends it; lines are then written at once again.
void startLogWriter();
void stopLogWriter();
