#pragma once
// A small installed-livery world built in code: a database with a few types of
// every category and three groups of similar types, a list of liveries indexed
// as the start-up indexes them, a few regcodes and special titles. Also a
// recording option view, and the reset of every livery table.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/options.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/dbase.h"
#include "liveries/livery.h"
#include "liveries/livery_index.h"
#include "liveries/livery_init.h"
#include "liveries/livery_match.h"
#include "liveries/regcode_merge.h"
#include "liveries/similar_models.h"
#include "support/dbase_fixture.h"

// Light C172 C152 PA28, Buzjets C56X, Large B738 A320 A20N, Heavy B744,
// HighPerf F16, Rotorcraft EC35 EC30. Similar: {A320,A20N}, {B738,B744},
// {C152,C172,PA28}. G-WETL and G-LEAS are wet leases (an operator is set),
// D-NOOP has no operator.
inline const std::string worldDbaseXml = R"(<aircrafts><aircraft types="B738,A320,A20N,B744,C172,C152,PA28,C56X,EC35,EC30,F16"/></aircrafts>
<high_performance><hpf types="F16"/></high_performance>
<heavy><hvy types="B744"/></heavy>
<large><lar types="B738,A320,A20N"/></large>
<buzjet><bzj types="C56X"/></buzjet>
<rotorcraft><rot types="EC35,EC30"/></rotorcraft>
<cargo_types><cargo_type types="B744"/></cargo_types>
<similar_types><similar types="A320,A20N"/><similar types="B738,B744"/><similar types="C172,C152,PA28"/></similar_types>
<ICAO_airlines><ICAO codes="AAA,CGX,OWN,LSE"/></ICAO_airlines>
<cargo_operators><ICAO codes="CGX"/></cargo_operators>
<simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>
<dbase><db reg="G-WETL" airl="OWN" type="A20N" opr="OPR"/>
       <db reg="G-LEAS" airl="LSE" type="A320" opr="OPR"/>
       <db reg="D-NOOP" airl="OWN" type="A20N" opr=""/></dbase>
)";

inline void readWorldDbase(const std::string& xml = worldDbaseXml)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    gf_readDbaseDocument(doc);
}

inline Livery livery(const std::string& airline, const std::string& model, const std::string& title,
                     bool cargo = false, const std::string& atcId = "", std::uint32_t folder = 0)
{
    return Livery(airline, model, title, atcId, folder, cargo);
}

// The liveries of the world (sorted as the start-up sorts them).
inline std::list<Livery> worldLiveries()
{
    std::list<Livery> l{
        livery("AAA", "A320", "AAA A320 One"),
        livery("AAA", "A320", "AAA A320 Two"),
        livery("AAA", "B738", "AAA B738 Cargo", true),
        livery("AAA", "B738", "AAA B738 Pax"),
        livery("BBB", "C152", "BBB C152 Light"),
        livery("CGO", "A320", "CGO A320 Freighter", true),
        livery("CGX", "B744", "CGX B744 Freighter", true),
        livery("FSL", "A320", "FSLTL_A320_FSL"),
        livery("HEL", "EC35", "HEL EC35 Heli"),
        livery("LSE", "A320", "LSE A320 Paint"),
        livery("MIX", "B738", "MIX B738 Normal"),
        livery("MIX", "B738", "MIX B738 Special"),
        livery("OWN", "A20N", "OWN A20N Paint"),
        livery("PVT", "C152", "PVT C152 Private"),
        livery("SPC", "A320", "SPC A320 Special 1"),
        livery("SPC", "A320", "SPC A320 Special 2"),
        livery("ZZZ", "B744", "ZZZ B744 Generic"),
        livery("ZZZ", "C172", "ZZZ C172 Generic"),
    };
    lf_sortLiveries(l);
    return l;
}

// Every livery table, the records, the database and the options back to their start.
inline void resetLiveryWorld()
{
    gf_clearSimilarModels();
    gf_clearLiveryIndexes();
    resetLiveryMatchRecords();
    resetDbaseTables();
    ScannedLiveries.clear();
    LiveriesInitialised = false;
    clearLiveryRescanRequest();
    resetOptionsToDefaults();
    setParametersFile({});
}

// Indexes the liveries as the processing of the scanned liveries does (without
// the files), with G-REGC -> "AAA B738 Pax" and the special titles of SPC and MIX.
inline void buildLiveryWorld(const std::list<Livery>& liveries = worldLiveries())
{
    lf_indexLiveries(liveries);
    lf_buildAirlineModelIndexes();
    lf_mergeRegcodes({{"AAA B738 Pax", {"G-REGC"}, false},
                      {"SPC A320 Special 1", {"G-SPCL"}, true},
                      {"SPC A320 Special 2", {"G-SPC2", "G-SPC3"}, true},
                      {"MIX B738 Special", {"G-MIX1", "G-MIX2"}, true}});
    lf_buildModelIndexes();
    gf_buildSimilarModels();
    for (int c = 0; c < 6; ++c) lf_summarizeCategory(static_cast<AcCategory>(c));
}

// Records "check NAME on|off" and "enable NAME on|off" of every control.
class RecordingOptionView : public OptionView {
public:
    RecordingOptionView() { setOptionView(this); }
    ~RecordingOptionView() override { setOptionView(nullptr); }
    RecordingOptionView(const RecordingOptionView&) = delete;
    RecordingOptionView& operator=(const RecordingOptionView&) = delete;

    // Gives the check boxes a window, so the calls reach the view.
    void attach(std::initializer_list<CheckboxParameter*> records)
    {
        for (CheckboxParameter* r : records) r->setWindow(this);
    }
    bool isLive(ControlHandle) const override { return true; }
    void setCheck(const ParameterControl& c, bool on) override { calls.push_back("check " + name(c) + onOff(on)); }
    void setComboItems(const ParameterControl&, const std::vector<std::string>&, int) override {}
    void selectComboItem(const ParameterControl&, int) override {}
    void setText(const ParameterControl&, const std::string&) override {}
    void enable(const ParameterControl& c, bool on) override { calls.push_back("enable " + name(c) + onOff(on)); }

    std::vector<std::string> calls;

private:
    static std::string name(const ParameterControl& c)
    {
        const auto* p = dynamic_cast<const Parameter*>(&c);
        return p ? p->name() : "?";
    }
    static std::string onOff(bool on) { return on ? " on" : " off"; }
};
