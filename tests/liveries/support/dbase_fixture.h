#pragma once
// A scratch working folder for the liveries tests (the program reads and writes
// input/ and output/ relative to it, and its Log.txt is there), and the
// smallest aircraft database that passes every check of the reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/support/scratch_folder.h"
#include "liveries/data_crypto.h"

// Makes a scratch folder the working folder for its lifetime, with input/ and
// output/ in it and the log open there.
class WorkingFolder {
public:
    WorkingFolder() : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder_.path());
        std::filesystem::create_directories(folder_ / "input");
        std::filesystem::create_directories(folder_ / "output");
        gf_openLog(folder_.path());
    }
    ~WorkingFolder()
    {
        closeLog();
        std::filesystem::current_path(previous_);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    const std::filesystem::path& path() const { return folder_.path(); }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return folder_ / p; }

    // The lines of Log.txt after its banner.
    std::vector<std::string> logLines() const
    {
        auto all = fileLines(folder_ / "Log.txt");
        if (!all.empty()) all.erase(all.begin());
        return all;
    }
    // Writes the text encrypted with the built-in key (relative to the folder).
    void writeEncrypted(const std::filesystem::path& relative, const std::string& plain) const
    {
        writeWholeFile(folder_ / relative, gf_encryptText(DataDecryptionKey, plain));
    }

private:
    std::filesystem::path previous_;
    ScratchFolder folder_;
};

// Every required section holds something; B738 and A320 are Large, B744 and
// B763 Heavy; the airlines AAA, BAW, CGX, EZY and ZZZ; two registrations.
inline const std::string minimalDbaseXml = R"(<aircrafts><aircraft types="B738,A320,B744,C172,C56X,EC35,F16,B763"/></aircrafts>
<high_performance><hpf types="F16"/></high_performance>
<heavy><hvy types="B744,B763"/></heavy>
<large><lar types="B738,A320"/></large>
<buzjet><bzj types="C56X"/></buzjet>
<rotorcraft><rot types="EC35"/></rotorcraft>
<cargo_types><cargo_type types="B74F"/></cargo_types>
<similar_types><similar types="B738,A320"/></similar_types>
<ICAO_airlines><ICAO codes="AAA,BAW,CGX,EZY,ZZZ"/></ICAO_airlines>
<cargo_operators><ICAO codes="CGX"/></cargo_operators>
<publishers><pub names="PubA,Pub A"/></publishers>
<wingspans><wingspan type="B738" meters="35.8"/><wingspan type="B744" meters="64.4"/></wingspans>
<fixes><fx wro="B73H" cor="B738"/></fixes>
<simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>
<thirdpartiesP3D><thirdpartieP3D pub="PubA" arpts="EHAM123,EGLL87"/></thirdpartiesP3D>
<dbase><db reg="G-ABCD" airl="AAA" type="B738" opr="" cargo="false"/>
       <db reg="DABCD" airl="DLH" type="A320" opr="EWG" cargo="0"/></dbase>
)";
