// vrmt-liveriesdemo: the livery start-up of the program in a program folder,
// then the livery the matching picks for each aircraft typed on stdin.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "liveries/dbase.h"
#include "liveries/livery_init.h"
#include "liveries/livery_match.h"
#include "liveries/livery_services_impl.h"

namespace {

const char* const usage =
    "usage: vrmt-liveriesdemo PROGRAM_FOLDER [LIBRARY]\n"
    "\n"
    "In PROGRAM_FOLDER (which holds input/dbase.enc and, when there is one,\n"
    "input/AIG-regcodes.enc and input/my_regcodes/): reads the aircraft database,\n"
    "then scans the liveries when SCAN_LIVERIES is on (LIBRARY becomes the liveries\n"
    "folder lfolder0) into output/LiveriesScanned.xml with the scan reports, or reads\n"
    "that file, and indexes the liveries (Log.txt tells how). The options are kept\n"
    "in PROGRAM_FOLDER/parameters.xml, so a second run reads the file instead of\n"
    "scanning (delete it, or the file, to scan again).\n"
    "\n"
    "Then, for every line \"AIRLINE TYPE [REGISTRATION] [cargo]\" on stdin (\"-\" for\n"
    "no airline), prints the livery title and the step that found it:\n"
    "  1 registration, 2 airline and type, 3 similar type, 4 unknown airline ZZZ,\n"
    "  5 type alone, 6 similar type or category.\n"
    "\n"
    "Exit status: 0 done, 1 the start-up failed (the reason on stderr), 2 wrong arguments.\n";

// The step of the last live match: the counter that moved.
int lf_countedStep(const std::array<std::int32_t, 6>& before)
{
    for (std::size_t i = 0; i < before.size(); ++i)
        if (MatchStepCounters[i] != before[i]) return static_cast<int>(i + 1);
    return 0;
}

void lf_answer(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return;
    if (words.size() < 2) {
        std::printf("? %s: AIRLINE TYPE [REGISTRATION] [cargo]\n", line.c_str());
        return;
    }
    bool cargo = false;
    if (words.back() == "cargo") {
        cargo = true;
        words.pop_back();
    }
    LiveryRequest r{words[0] == "-" ? "" : words[0], words[1], words.size() > 2 ? words[2] : "", "DEMO",
                    gf_typeCategory(words[1]), cargo};
    const auto before = MatchStepCounters;
    MatchAc ac{r, cargo, {}};
    gf_matchLiveAcLivery(ac);
    if (ac.title.empty())
        std::printf("%s: no livery\n", line.c_str());
    else
        std::printf("%s: %.*s (step %d)\n", line.c_str(), static_cast<int>(ac.title.size()), ac.title.data(),
                    lf_countedStep(before));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        const std::filesystem::path library = argc == 3 ? std::filesystem::absolute(argv[2]) : std::filesystem::path();
        std::filesystem::current_path(argv[1]);
        gf_openLog();
        setParametersFile(std::filesystem::current_path() / "parameters.xml");
        initParameters();
        if (argc == 3) {
            setStringParameter(lfolder[0], library.string());
            LIG_AUTOMATIC.set(false);
            saveBoolParameter(&LIG_AUTOMATIC);
        }
        if (!std::filesystem::exists(liveriesScannedPath) && !SCAN_LIVERIES.get()) {
            showMessage(vr::format("File {} is gone, rescan liveries", liveriesScannedPath.string()), true);
            SCAN_LIVERIES.set(true);
            saveBoolParameter(&SCAN_LIVERIES);
        }
        gf_readDbase();
        gf_initLiveries();
        installLiveryServices();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-liveriesdemo: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "%d liveries; type aircraft as AIRLINE TYPE [REGISTRATION] [cargo]\n",
                 statusPanel().liveriesCount.load());
    for (std::string line; std::getline(std::cin, line);) lf_answer(line);
    gf_logLiveryMatchSummary();
    closeLog();
    return 0;
}
