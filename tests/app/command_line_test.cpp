// The command line as the program reads it before anything starts.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLine parsed(std::vector<const char*> args)
{
    args.insert(args.begin(), "vormeth");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, Arguments)
{
    using A = CommandLine::Action;
    struct Row {
        const char* name;
        std::vector<const char*> args;
        A action;
        bool headless = false;
        long long statusEvery = 0;  // 0: none
        std::string problem = "";
    };
    const Row rows[] = {
        {"none: run with a window", {}, A::run},
        {"--headless", {"--headless"}, A::run, true},
        {"--status-every 5", {"--status-every", "5"}, A::run, false, 5},
        {"both, either order", {"--status-every", "1", "--headless"}, A::run, true, 1},
        {"--help", {"--help"}, A::help},
        {"-h", {"-h"}, A::help},
        {"--help after other options", {"--headless", "--help"}, A::help},
        {"--help before a wrong one", {"--help", "--nonsense"}, A::help},
        {"--version", {"--version"}, A::version},
        {"an unknown option", {"--nonsense"}, A::refuse, false, 0, "unknown option '--nonsense'"},
        {"an unknown option after good ones", {"--headless", "-x"}, A::refuse, false, 0, "unknown option '-x'"},
        {"a word that is no option", {"EHAM"}, A::refuse, false, 0, "unknown option 'EHAM'"},
        {"--status-every without its number", {"--status-every"}, A::refuse, false, 0,
         "--status-every needs a number of seconds"},
        {"--status-every 0", {"--status-every", "0"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '0'"},
        {"--status-every -3", {"--status-every", "-3"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '-3'"},
        {"--status-every 5s", {"--status-every", "5s"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '5s'"},
        {"--status-every 1.5", {"--status-every", "1.5"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '1.5'"},
        {"--status-every beyond a day", {"--status-every", "86401"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '86401'"},
        {"--status-every of a number too large for any type", {"--status-every", "99999999999999999999999"},
         A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '99999999999999999999999'"},
        {"--status-every followed by an option", {"--status-every", "--headless"}, A::refuse, false, 0,
         "--status-every needs a whole number of seconds from 1 to 86400, not '--headless'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CommandLine c = parsed(row.args);
        EXPECT_EQ(c.action, row.action);
        EXPECT_EQ(c.problem, row.problem);
        if (row.action != A::run) continue;
        EXPECT_EQ(c.headless, row.headless);
        EXPECT_EQ(c.statusEvery ? c.statusEvery->count() : 0, row.statusEvery);
    }
}

}  // namespace
