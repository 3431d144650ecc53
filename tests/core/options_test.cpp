#include "core/options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

enum class Kind { Checkbox, Edit, Combo, Int, EditString, String, Button, FloatEdit };
enum class Stored { No, Checkbox, Int, ControlInt, String, ControlString };

struct Row {
    std::string name;
    Kind kind;
    std::int32_t def;  // bools: 0/1; texts: unused
    std::int32_t min;
    std::int32_t max;
    std::vector<std::int32_t> choices;
    std::uint16_t id;  // 0: no control
    std::uint32_t row;
    Stored stored;
};

const std::vector<std::int32_t> kMaxSel{0, 10, 25, 50, 75, 100, 500};

// The option table as the main window and parameters.xml know it.
std::vector<Row> optionTable()
{
    std::vector<Row> t = {
        {"RANGE", Kind::Combo, 40, 2, 100, {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100}, 32818, 231, Stored::ControlInt},
        {"MAX_LIVE_SEL", Kind::Combo, 500, 0, 500, kMaxSel, 32847, 315, Stored::ControlInt},
        {"MAX_PARK_SEL", Kind::Combo, 500, 0, 500, kMaxSel, 32846, 315, Stored::ControlInt},
        {"MATCHING_DEPTH", Kind::Combo, 4, 1, 4, {1, 2, 3, 4}, 32808, 203, Stored::ControlInt},
        {"AR_ABOVE_HEIGHT", Kind::Combo, 48000, 18000, 48000, {18000, 21000, 24000, 27000, 30000, 33000, 36000, 39000, 42000, 45000, 48000}, 32820, 231, Stored::ControlInt},
        {"AIRP_RANGE", Kind::Combo, 20, 5, 30, {5, 10, 15, 20, 25, 30}, 32840, 343, Stored::ControlInt},
        {"AIRP_HEIGHT", Kind::Combo, 18000, 2000, 48000, {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}, 32841, 343, Stored::ControlInt},
        {"MAX_FIT", Kind::Edit, 47, 0, 47, {}, 32853, 371, Stored::ControlInt},
        {"parking_percentage", Kind::Edit, 30, 0, 100, {}, 32848, 371, Stored::No},
        {"TIME_SHIFT_DAYS", Kind::Edit, 0, 0, 28, {}, 32859, 259, Stored::ControlInt},
        {"TIME_SHIFT_HOURS", Kind::Edit, 0, 0, 23, {}, 32860, 231, Stored::ControlInt},
        {"TIME_SHIFT_MINS", Kind::Edit, 0, 0, 59, {}, 32861, 287, Stored::ControlInt},
        {"MAX_FIT_FL", Kind::FloatEdit, 0, 0, 0, {}, 32855, 371, Stored::No},
        {"MAIN_WINDOW_X", Kind::Int, 400, -30000, 30000, {}, 0, 0, Stored::Int},
        {"MAIN_WINDOW_Y", Kind::Int, 20, -30000, 30000, {}, 0, 0, Stored::Int},
        {"MAX_LIVE", Kind::Int, -1, -1, 300, {}, 0, 0, Stored::Int},
        {"CUSTOM_MAX_PARK", Kind::Int, -1, -1, 500, {}, 0, 0, Stored::Int},
        {"CUSTOM_PARKING_PERCENTAGE", Kind::Int, -1, -1, 100, {}, 0, 0, Stored::Int},
        {"LATERAL_RANGE", Kind::Int, 40, 2, 100, {}, 0, 0, Stored::Int},
        {"AIRPORT_RANGE", Kind::Int, 20, 8, 30, {}, 0, 0, Stored::Int},
        {"AUTO_RANGE_ABOVE_HEIGHT", Kind::Int, 49000, 18000, 49000, {}, 0, 0, Stored::Int},
        {"AIRPORT_HEIGHT", Kind::Int, 18000, 2000, 45000, {}, 0, 0, Stored::Int},
        {"HOLDING_THRESHOLD_METERS", Kind::Int, 250, 10, 4000, {}, 0, 0, Stored::Int},
        {"MAX_HOLDING_MINUTES", Kind::Int, 20, 1, 60, {}, 0, 0, Stored::Int},
        {"LAST_EPOCH_TIME:", Kind::Int, 0, 0, 2147483647, {}, 0, 0, Stored::Int},
        {"P3D_VERSION", Kind::Int, 5, 5, 6, {}, 0, 0, Stored::Int},
        {"ALWAYS_ON_TOP", Kind::Checkbox, 0, 0, 0, {}, 32771, 147, Stored::Checkbox},
        {"LOG", Kind::Checkbox, 1, 0, 0, {}, 32779, 147, Stored::Checkbox},
        {"SCAN_LIVERIES", Kind::Checkbox, 1, 0, 0, {}, 32797, 147, Stored::Checkbox},
        {"LIG_AUTOMATIC", Kind::Checkbox, 1, 0, 0, {}, 32798, 147, Stored::Checkbox},
        {"LIG_PRIORITIZE", Kind::Checkbox, 0, 0, 0, {}, 32799, 147, Stored::Checkbox},
        {"SUPPRESS_STUB", Kind::Checkbox, 1, 0, 0, {}, 32800, 147, Stored::Checkbox},
        {"LEARN_SOFT", Kind::Checkbox, 1, 0, 0, {}, 32777, 175, Stored::Checkbox},
        {"NAV_LIGHTS_WHILE_PARKED", Kind::Checkbox, 1, 0, 0, {}, 32778, 175, Stored::Checkbox},
        {"SCAN_AIRPORTS", Kind::Checkbox, 1, 0, 0, {}, 32801, 175, Stored::Checkbox},
        {"AFG_AUTOMATIC", Kind::Checkbox, 1, 0, 0, {}, 32802, 175, Stored::Checkbox},
        {"GUID_CHANGES", Kind::Checkbox, 1, 0, 0, {}, 32773, 203, Stored::Checkbox},
        {"LIGHT_AIRCRAFT", Kind::Checkbox, 1, 0, 0, {}, 32809, 203, Stored::Checkbox},
        {"HELICOPTERS", Kind::Checkbox, 1, 0, 0, {}, 32810, 203, Stored::Checkbox},
        {"HIGH_PERF_AIRCRAFT", Kind::Checkbox, 1, 0, 0, {}, 32811, 203, Stored::Checkbox},
        {"AUTO_RANGE", Kind::Checkbox, 1, 0, 0, {}, 32819, 231, Stored::Checkbox},
        {"SIM_TIME", Kind::Checkbox, 0, 0, 0, {}, 32862, 231, Stored::Checkbox},
        {"COLLISION_USER_AIR", Kind::Checkbox, 1, 0, 0, {}, 32833, 287, Stored::Checkbox},
        {"COLLISION_USER_GND", Kind::Checkbox, 1, 0, 0, {}, 32834, 287, Stored::Checkbox},
        {"COLLISION_LIVE_PARKED_GND", Kind::Checkbox, 0, 0, 0, {}, 32835, 287, Stored::Checkbox},
        {"KEEP_SIM_TIME_PAR", Kind::Checkbox, 0, 0, 0, {}, 32863, 287, Stored::Checkbox},
        {"STRAIGHT_PBS_ONLY", Kind::Checkbox, 0, 0, 0, {}, 32856, 315, Stored::Checkbox},
        {"INITIAL_LOAD_ONLY", Kind::Checkbox, 0, 0, 0, {}, 32850, 371, Stored::Checkbox},
        {"PARK_SOFT", Kind::Checkbox, 1, 0, 0, {}, 32851, 371, Stored::Checkbox},
        {"PARK_FAKE", Kind::Checkbox, 0, 0, 0, {}, 32852, 371, Stored::Checkbox},
        {"WEEK", Kind::Checkbox, 0, 0, 0, {}, 32854, 371, Stored::Checkbox},
        {"RT_PARKTRAFFIC_ONLY", Kind::Checkbox, 0, 0, 0, {}, 32857, 371, Stored::Checkbox},
        {"BLOCK_CALLSIGN", Kind::EditString, 0, 0, 0, {}, 32828, 259, Stored::ControlString},
        {"DESTINATION", Kind::EditString, 0, 0, 0, {}, 32839, 343, Stored::String},
        {"ALL_INSTALL_PATH", Kind::EditString, 0, 0, 0, {}, 32788, 119, Stored::No},
        {"PROGRAM_VERSION", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"PROGRAM_INSTALL_PATH", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"SIM_INSTALL_PATH", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"AIG_VERSION", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"DBASE_VERSION", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"RT_LICENSE", Kind::String, 0, 0, 0, {}, 0, 0, Stored::String},
        {"author", Kind::String, 0, 0, 0, {}, 0, 0, Stored::No},
        {"date", Kind::String, 0, 0, 0, {}, 0, 0, Stored::No},
        {"version", Kind::String, 0, 0, 0, {}, 0, 0, Stored::No},
        {"P3D", Kind::String, 0, 0, 0, {}, 0, 0, Stored::No},
        {"MSFS", Kind::String, 0, 0, 0, {}, 0, 0, Stored::No},
        {"Flush static", Kind::Button, 0, 0, 0, {}, 32858, 369, Stored::No},
        {"Unblock", Kind::Button, 0, 0, 0, {}, 32829, 257, Stored::No},
        {"Re-read", Kind::Button, 0, 0, 0, {}, 32838, 341, Stored::No},
    };
    for (const char* prefix : {"lfolder", "afolder"})
        for (int i = 0; i < 10; ++i)
            t.push_back({prefix + std::to_string(i), Kind::String, 0, 0, 0, {}, 0, 0, Stored::String});
    return t;
}

template <class P>
Stored storedIn(const std::vector<P*>& list, const Parameter* p, Stored s)
{
    return std::find(list.begin(), list.end(), p) != list.end() ? s : Stored::No;
}

Stored whereStored(const Parameter* p)
{
    const ParameterLists& l = storedParameterLists();
    Stored found = Stored::No;
    int hits = 0;
    for (Stored s : {storedIn(l.checkboxes, p, Stored::Checkbox), storedIn(l.ints, p, Stored::Int),
                     storedIn(l.controlInts, p, Stored::ControlInt), storedIn(l.strings, p, Stored::String),
                     storedIn(l.controlStrings, p, Stored::ControlString)})
        if (s != Stored::No) {
            found = s;
            ++hits;
        }
    return hits > 1 ? Stored(-1) : found;
}

TEST(OptionsTest, EveryRecordMatchesTheOptionTable)
{
    resetOptionsToDefaults();
    const std::vector<Row> table = optionTable();
    ASSERT_EQ(table.size(), allOptionRecords().size()) << "a record is missing or extra";
    std::map<std::uint16_t, std::string> ids;
    for (const Row& r : table) {
        SCOPED_TRACE(r.name);
        Parameter* p = findOptionRecord(r.name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->name(), r.name);
        EXPECT_EQ(whereStored(p), r.stored);

        auto* control = dynamic_cast<ParameterControl*>(p);
        if (r.id == 0) {
            EXPECT_EQ(control, nullptr);
        } else {
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->controlId(), r.id);
            EXPECT_EQ(control->row(), r.row);
            EXPECT_EQ(control->window(), nullptr);
            EXPECT_TRUE(ids.emplace(r.id, r.name).second) << "control id used twice";
        }

        switch (r.kind) {
        case Kind::Checkbox: {
            auto* c = dynamic_cast<CheckboxParameter*>(p);
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->defaultValue(), r.def != 0);
            EXPECT_EQ(c->get(), r.def != 0);
            break;
        }
        case Kind::Combo:
        case Kind::Edit:
        case Kind::Int: {
            auto* i = dynamic_cast<IntParameter*>(p);
            ASSERT_NE(i, nullptr);
            EXPECT_EQ(i->defaultValue(), r.def);
            EXPECT_EQ(i->get(), r.def);
            EXPECT_EQ(i->min(), r.min);
            EXPECT_EQ(i->max(), r.max);
            auto* combo = dynamic_cast<ComboParameter*>(p);
            EXPECT_EQ(combo != nullptr, r.kind == Kind::Combo);
            EXPECT_EQ(dynamic_cast<EditParameter*>(p) != nullptr, r.kind == Kind::Edit);
            if (combo) {
                EXPECT_EQ(combo->choices(), r.choices);
            }
            break;
        }
        case Kind::String:
        case Kind::EditString: {
            auto* s = dynamic_cast<StringParameter*>(p);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->defaultValue(), "");
            EXPECT_EQ(s->get(), "");
            EXPECT_EQ(dynamic_cast<EditStringParameter*>(p) != nullptr, r.kind == Kind::EditString);
            break;
        }
        case Kind::Button:
            EXPECT_NE(dynamic_cast<ButtonParameter*>(p), nullptr);
            break;
        case Kind::FloatEdit: {
            auto* f = dynamic_cast<FloatEditParameter*>(p);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->get(), 24.0f);
            EXPECT_EQ(f->defaultValue(), 24.0f);
            EXPECT_EQ(f->min(), 0.5f);
            EXPECT_EQ(f->max(), 24.0f);
            break;
        }
        }
    }
}

TEST(OptionsTest, StoredListsKeepTheirOrder)
{
    const ParameterLists& l = storedParameterLists();
    auto names = [](const auto& list) {
        std::vector<std::string> n;
        for (const auto* p : list) n.push_back(p->name());
        return n;
    };
    EXPECT_TRUE(l.plainBools.empty());
    EXPECT_THAT(names(l.checkboxes),
                testing::ElementsAre("SIM_TIME", "KEEP_SIM_TIME_PAR", "RT_PARKTRAFFIC_ONLY", "AFG_AUTOMATIC",
                                     "COLLISION_USER_AIR", "COLLISION_USER_GND", "COLLISION_LIVE_PARKED_GND",
                                     "SUPPRESS_STUB", "LOG", "ALWAYS_ON_TOP", "SCAN_LIVERIES", "LIG_AUTOMATIC",
                                     "LIG_PRIORITIZE", "SCAN_AIRPORTS", "LIGHT_AIRCRAFT", "HELICOPTERS",
                                     "HIGH_PERF_AIRCRAFT", "NAV_LIGHTS_WHILE_PARKED", "AUTO_RANGE", "LEARN_SOFT",
                                     "STRAIGHT_PBS_ONLY", "PARK_SOFT", "PARK_FAKE", "WEEK", "INITIAL_LOAD_ONLY",
                                     "GUID_CHANGES"));
    EXPECT_THAT(names(l.ints),
                testing::ElementsAre("CUSTOM_PARKING_PERCENTAGE", "MAIN_WINDOW_X", "MAIN_WINDOW_Y", "LATERAL_RANGE",
                                     "AIRPORT_RANGE", "AUTO_RANGE_ABOVE_HEIGHT", "AIRPORT_HEIGHT", "LAST_EPOCH_TIME:",
                                     "HOLDING_THRESHOLD_METERS", "MAX_HOLDING_MINUTES", "CUSTOM_MAX_PARK", "MAX_LIVE",
                                     "P3D_VERSION"));
    EXPECT_THAT(names(l.controlInts),
                testing::ElementsAre("MATCHING_DEPTH", "RANGE", "MAX_FIT", "AR_ABOVE_HEIGHT", "MAX_PARK_SEL",
                                     "MAX_LIVE_SEL", "AIRP_RANGE", "AIRP_HEIGHT", "TIME_SHIFT_DAYS",
                                     "TIME_SHIFT_HOURS", "TIME_SHIFT_MINS"));
    std::vector<std::string> strings{"PROGRAM_VERSION", "SIM_INSTALL_PATH"};
    for (const char* prefix : {"lfolder", "afolder"})
        for (int i = 0; i < 10; ++i) strings.push_back(prefix + std::to_string(i));
    for (const char* s : {"PROGRAM_INSTALL_PATH", "AIG_VERSION", "DBASE_VERSION", "DESTINATION", "RT_LICENSE"})
        strings.push_back(s);
    EXPECT_EQ(names(l.strings), strings);
    EXPECT_THAT(names(l.controlStrings), testing::ElementsAre("BLOCK_CALLSIGN"));
}

// Records what the core asks of the window.
class RecordingView : public OptionView {
public:
    bool isLive(ControlHandle window) const override { return window == liveWindow; }
    void setCheck(const ParameterControl& c, bool checked) override
    {
        calls.push_back("check " + std::to_string(c.controlId()) + " " + (checked ? "1" : "0"));
    }
    void setComboItems(const ParameterControl& c, const std::vector<std::string>& items, int selected) override
    {
        std::string s = "items " + std::to_string(c.controlId());
        for (const auto& i : items) s += " " + i;
        calls.push_back(s + " sel " + std::to_string(selected));
    }
    void selectComboItem(const ParameterControl& c, int index) override
    {
        calls.push_back("select " + std::to_string(c.controlId()) + " " + std::to_string(index));
    }
    void setText(const ParameterControl& c, const std::string& text) override
    {
        calls.push_back("text " + std::to_string(c.controlId()) + " '" + text + "'");
    }
    void enable(const ParameterControl& c, bool on) override
    {
        calls.push_back("enable " + std::to_string(c.controlId()) + " " + (on ? "1" : "0"));
    }

    void* liveWindow = reinterpret_cast<void*>(0x1234);
    std::vector<std::string> calls;
};

class OptionViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        resetOptionsToDefaults();
        setOptionView(&view);
    }
    void TearDown() override
    {
        setOptionView(nullptr);
        resetOptionsToDefaults();
    }
    RecordingView view;
};

TEST_F(OptionViewTest, ControlsThatDoNotExistYetAreLeftAlone)
{
    MATCHING_DEPTH.fillControl();
    showIntParameterText(MAX_FIT);
    MAX_FIT.setWindow(reinterpret_cast<void*>(0x9999));  // a handle the view says is dead
    showIntParameterText(MAX_FIT);
    MAX_FIT.enable();
    setOptionView(nullptr);
    MATCHING_DEPTH.setWindow(view.liveWindow);
    MATCHING_DEPTH.fillControl();
    EXPECT_TRUE(view.calls.empty());
}

TEST_F(OptionViewTest, FillControlSelectsTheCurrentValueOrNothing)
{
    MATCHING_DEPTH.setWindow(view.liveWindow);
    MATCHING_DEPTH.set(3);
    MATCHING_DEPTH.fillControl();
    RANGE.setWindow(view.liveWindow);
    RANGE.set(7);  // within min and max, but not a choice
    RANGE.fillControl();
    showIntParameterText(RANGE);
    EXPECT_THAT(view.calls, testing::ElementsAre("items 32808 1 2 3 4 sel 2",
                                                 "items 32818 2 3 4 5 6 8 10 12 14 16 18 20 25 30 35 40 50 65 80 "
                                                 "100 sel -1",
                                                 "select 32818 -1"));
}

TEST_F(OptionViewTest, ShowTextPutsEachKindIntoItsControl)
{
    for (ParameterControl* c : std::initializer_list<ParameterControl*>{&MAX_FIT, &MAX_FIT_FL, &BLOCK_CALLSIGN, &WEEK})
        c->setWindow(view.liveWindow);
    MAX_FIT.set(12);
    showIntParameterText(MAX_FIT);
    showFloatParameterText(MAX_FIT_FL);
    MAX_FIT_FL.set(3.5f);
    showFloatParameterText(MAX_FIT_FL);
    BLOCK_CALLSIGN.set("DLH123");
    showStringParameterText(BLOCK_CALLSIGN);
    showStringParameterText(SIM_INSTALL_PATH);  // no control: nothing
    showCheckboxState(WEEK);
    WEEK.enable(false);
    EXPECT_THAT(view.calls, testing::ElementsAre("text 32853 '12'", "text 32855 '24'", "text 32855 '3.5'",
                                                 "text 32828 'DLH123'", "check 32854 0", "enable 32854 0"));
}

TEST(OptionsTest, ComboRecordsHoldTheirOwnChoices)
{
    EXPECT_EQ(MAX_LIVE_SEL.choices(), MAX_PARK_SEL.choices());
    EXPECT_NE(&MAX_LIVE_SEL.choices(), &MAX_PARK_SEL.choices());
}

TEST(OptionsTest, ResetRestoresDefaults)
{
    BLOCK_CALLSIGN.set("X");
    RANGE.set(8);
    WEEK.set(true);
    MAX_FIT_FL.set(1.0f);
    resetOptionsToDefaults();
    EXPECT_EQ(BLOCK_CALLSIGN.get(), "");
    EXPECT_EQ(RANGE.get(), 40);
    EXPECT_FALSE(WEEK.get());
    EXPECT_EQ(MAX_FIT_FL.get(), 24.0f);
}

}  // namespace
