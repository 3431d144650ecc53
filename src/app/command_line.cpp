#include "command_line.h"

#include <charconv>
#include <string_view>

#include "core/fmt.h"

namespace {

// The longest wait between two status lines: a day.
constexpr long long lf_maxStatusSeconds = 24 * 60 * 60;

// A whole positive number of seconds, nothing before or after it.
std::optional<std::chrono::seconds> lf_seconds(std::string_view text)
{
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size() || n <= 0 || n > lf_maxStatusSeconds)
        return std::nullopt;
    return std::chrono::seconds(n);
}

CommandLine lf_refused(std::string problem)
{
    CommandLine c;
    c.action = CommandLine::Action::refuse;
    c.problem = std::move(problem);
    return c;
}

}  // namespace

const char* usageText()
{
    return "usage: vormeth [--headless] [--status-every N]\n"
           "       vormeth --help | --version\n"
           "Fills the simulator with the live-traffic service's aircraft until its window is closed\n"
           "(or Ctrl-C); one program per user. Run it from its program folder: it writes Log.txt there.\n"
           "  --headless          no window, also when a display is there\n"
           "  --status-every N    a status line on standard output every N seconds (1 to 86400)\n"
           "  --version           print the version and end\n"
           "  --help              print this and end\n";
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    CommandLine c;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i] ? argv[i] : "";
        if (a == "--help" || a == "-h") {
            c.action = CommandLine::Action::help;
            return c;
        }
        if (a == "--version") {
            c.action = CommandLine::Action::version;
            return c;
        }
        if (a == "--headless") {
            c.headless = true;
        } else if (a == "--status-every") {
            if (i + 1 >= argc) return lf_refused("--status-every needs a number of seconds");
            const std::string_view v = argv[++i] ? argv[i] : "";
            c.statusEvery = lf_seconds(v);
            if (!c.statusEvery)
                return lf_refused(vr::format("--status-every needs a whole number of seconds from 1 to {}, not '{}'",
                                             lf_maxStatusSeconds, v));
        } else {
            return lf_refused(vr::format("unknown option '{}'", a));
        }
    }
    return c;
}
