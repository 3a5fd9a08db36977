#pragma once

#include <filesystem>
#include <string>

// The one writer of Patchtree's log. The log is UTF-16LE text: a new or empty file first gets
// the byte-order mark FF FE, each line ends with CR LF, and lines are only appended.
// Each line is written whole and the file is closed again, so it is on disk when the call
// returns and other programs may read the log during the run.

// Makes `path` the file that receives the lines for the rest of the process.
void SetLogPath(std::filesystem::path path);

// The file that receives the lines; empty until set.
const std::filesystem::path& LogPath();

// Appends a UTF-8 line (its line feed included) to the log. The line feed at its end is stored
// as CR LF; bytes that are not valid UTF-8 and control characters elsewhere in the line (a line
// feed in a file name, for one) are written as U+FFFD, so a line can't pose as several. Nobody is
// told about a line that can't be written except the user: the first such failure of the process
// prints one warning, naming the log file, on standard error. Without a log path the line goes to
// the trace file (see DefaultTracePath).
void AppendLogLine(const std::string& line);

// Points the log at "KVTrace.txt" in the user's documents folder; leaves it empty when there is
// no documents folder.
void DefaultTracePath();
