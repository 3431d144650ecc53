#pragma once
// Repeated log lines of one kind from one file, cut after a few. A reader that
// logs per line of a file (a skipped double, a line of wrong syntax) would turn
// a broken file of millions of lines into a log of millions of lines: through a
// RepeatedLines it writes the first `keep` lines of each kind, counts the rest
// and, at finish() or when it goes out of scope, writes one line per kind with
// the count of those left out.
//
// One object per reading of one file, used by one thread.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

class RepeatedLines {
public:
    explicit RepeatedLines(std::string file, std::size_t keep = 5);
    ~RepeatedLines();
    RepeatedLines(const RepeatedLines&) = delete;
    RepeatedLines& operator=(const RepeatedLines&) = delete;

    // Whether the next line of `kind` is to be written; counts it either way.
    // The caller formats and writes the line only when this says so.
    bool admit(std::string_view kind);
    // admit, then logLineMarked(text) when admitted.
    void logMarked(std::string_view kind, std::string_view text);
    // Writes "{file}: {n} more '{kind}' lines not logged" (marked) for every kind
    // that was cut, once; later calls write nothing new.
    void finish();

private:
    std::string file_;
    std::size_t keep_;
    std::map<std::string, std::size_t, std::less<>> counts_;
};
