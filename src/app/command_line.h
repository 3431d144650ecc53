#pragma once
// The program's command line: what it asks for, read before anything starts
// (no lock, no log, no thread), so that asking for the usage or giving a wrong
// option never starts a run.

#include <chrono>
#include <optional>
#include <string>

struct CommandLine {
    enum class Action {
        run,      // start the program
        help,     // print the usage on standard output, exit 0
        version,  // print the version on standard output, exit 0
        refuse,   // print the problem and the usage on standard error, exit 2
    };
    Action action = Action::run;
    bool headless = false;                         // --headless: no window, also on a display
    std::optional<std::chrono::seconds> statusEvery;  // --status-every N
    std::string problem;                           // refuse: one line naming the option
};

// Reads argv[1..argc-1]. The first --help or --version wins over what follows;
// the first wrong argument refuses the whole line.
CommandLine parseCommandLine(int argc, const char* const* argv);

// How to call the program: a few lines, each ending in a line end.
const char* usageText();
