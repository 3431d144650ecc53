#pragma once
// Log.txt: one plain-text log in the program folder, written by every thread.
// A line is exactly the caller's text (built with vr::format beforehand), with at
// most a fixed prefix; every line is flushed at once. Before the log is open, or
// after its open failed, every call is a silent no-op.

#include <filesystem>
#include <string_view>

// Keeps two generations (Log0.txt, Log00.txt), opens a new Log.txt in the current
// folder and writes the banner. Throws std::runtime_error("Failed to write file
// Log.txt") when it cannot be opened, and the filesystem error when a backup fails.
void gf_openLog();
// The same in `folder` (tests).
void gf_openLog(const std::filesystem::path& folder);

void logLine(std::string_view text);
// "===> " + text: errors and warnings.
void logLineMarked(std::string_view text);
// Ten blanks + text: detail lines.
void logLineIndented(std::string_view text);
// As logLine, but nothing at all while closingFlag or windowClosedFlag is set.
void logLineIfRunning(std::string_view text);

bool isLogOpen();
// Closes the log; later calls are no-ops until it is opened again (tests).
void closeLog();
