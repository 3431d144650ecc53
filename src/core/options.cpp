#include "core/options.h"

#include <algorithm>

#include "core/fmt.h"
#include "core/utils.h"

namespace {

std::atomic<OptionView*> lf_view{nullptr};

// The view when the control of `control` exists, else nullptr.
OptionView* lf_liveView(const ParameterControl& control)
{
    OptionView* view = lf_view.load(std::memory_order_acquire);
    const ControlHandle window = control.window();
    if (!view || !window || !view->isLive(window)) return nullptr;
    return view;
}

// Static initialisation builds the records in this order; the choice vector of
// each combo record is built right before it.
const std::vector<std::int32_t> lf_rangeChoices{2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
const std::vector<std::int32_t> lf_maxSelChoices{0, 10, 25, 50, 75, 100, 500};
const std::vector<std::int32_t> lf_matchingDepthChoices{1, 2, 3, 4};
const std::vector<std::int32_t> lf_arAboveHeightChoices{18000, 21000, 24000, 27000, 30000, 33000,
                                                        36000, 39000, 42000, 45000, 48000};
const std::vector<std::int32_t> lf_airpRangeChoices{5, 10, 15, 20, 25, 30};
const std::vector<std::int32_t> lf_airpHeightChoices{2000,  4000,  6000,  8000,  10000, 12000,
                                                     14000, 16000, 18000, 36000, 48000};

template <class T, class... Args>
T& lf_make(Args&&... args)
{
    return *new T(std::forward<Args>(args)...);  // never destroyed
}

std::array<StringParameter*, 10>& lf_folders(const char* prefix)
{
    auto& folders = lf_make<std::array<StringParameter*, 10>>();
    for (int i = 0; i < 10; ++i) folders[i] = &lf_make<StringParameter>(vr::format("{}{}", prefix, i), "");
    return folders;
}

}  // namespace

ComboParameter::ComboParameter(std::string name, std::int32_t defaultValue, const std::vector<std::int32_t>& choices,
                               std::uint16_t controlId, std::uint32_t row)
    : IntParameter(std::move(name), defaultValue, choices.empty() ? 0 : choices.front(),
                   choices.empty() ? 0 : choices.back()),
      ParameterControl(controlId, row), choices_(choices)
{
}

int ComboParameter::choiceIndex(std::int32_t value) const
{
    const auto it = std::find(choices_.begin(), choices_.end(), value);
    return it == choices_.end() ? -1 : static_cast<int>(it - choices_.begin());
}

void ComboParameter::fillControl() const
{
    OptionView* view = lf_liveView(*this);
    if (!view) return;
    std::vector<std::string> items;
    items.reserve(choices_.size());
    for (const std::int32_t choice : choices_) items.push_back(vr::format("{}", choice));
    view->setComboItems(*this, items, choiceIndex(get()));
}

void ParameterControl::enable(bool on) const
{
    if (OptionView* view = lf_liveView(*this)) view->enable(*this, on);
}

void setOptionView(OptionView* view) { lf_view.store(view, std::memory_order_release); }

void showIntParameterText(const IntParameter& record)
{
    const auto* control = dynamic_cast<const ParameterControl*>(&record);
    if (!control) return;
    OptionView* view = lf_liveView(*control);
    if (!view) return;
    if (const auto* combo = dynamic_cast<const ComboParameter*>(&record))
        view->selectComboItem(*control, combo->choiceIndex(combo->get()));
    else
        view->setText(*control, vr::format("{}", record.get()));
}

void showFloatParameterText(const FloatEditParameter& record)
{
    if (OptionView* view = lf_liveView(record)) view->setText(record, gf_numberToText(record.get()));
}

void showStringParameterText(const StringParameter& record)
{
    const auto* control = dynamic_cast<const ParameterControl*>(&record);
    if (!control) return;
    if (OptionView* view = lf_liveView(*control)) view->setText(*control, record.get());
}

void showCheckboxState(const CheckboxParameter& record)
{
    if (OptionView* view = lf_liveView(record)) view->setCheck(record, record.get());
}

// ---------------------------------------------------------------------------
// The records, in a fixed order within this one translation unit.

ComboParameter& RANGE = lf_make<ComboParameter>("RANGE", kRangeDefaultNm, lf_rangeChoices, 0x8032, 231);
ComboParameter& MAX_LIVE_SEL = lf_make<ComboParameter>("MAX_LIVE_SEL", 500, lf_maxSelChoices, 0x804F, 315);
ComboParameter& MAX_PARK_SEL = lf_make<ComboParameter>("MAX_PARK_SEL", 500, lf_maxSelChoices, 0x804E, 315);
ComboParameter& MATCHING_DEPTH = lf_make<ComboParameter>("MATCHING_DEPTH", 4, lf_matchingDepthChoices, 0x8028, 203);
ComboParameter& AR_ABOVE_HEIGHT =
    lf_make<ComboParameter>("AR_ABOVE_HEIGHT", 48000, lf_arAboveHeightChoices, 0x8034, 231);
ComboParameter& AIRP_RANGE = lf_make<ComboParameter>("AIRP_RANGE", 20, lf_airpRangeChoices, 0x8048, 343);
ComboParameter& AIRP_HEIGHT = lf_make<ComboParameter>("AIRP_HEIGHT", 18000, lf_airpHeightChoices, 0x8049, 343);
EditParameter& MAX_FIT = lf_make<EditParameter>("MAX_FIT", 47, 0, 47, 0x8055, 371);
EditParameter& parking_percentage = lf_make<EditParameter>("parking_percentage", 30, 0, 100, 0x8050, 371);
EditParameter& TIME_SHIFT_DAYS = lf_make<EditParameter>("TIME_SHIFT_DAYS", 0, 0, 28, 0x805B, 259);
EditParameter& TIME_SHIFT_HOURS = lf_make<EditParameter>("TIME_SHIFT_HOURS", 0, 0, 23, 0x805C, 231);
EditParameter& TIME_SHIFT_MINS = lf_make<EditParameter>("TIME_SHIFT_MINS", 0, 0, 59, 0x805D, 287);
FloatEditParameter& MAX_FIT_FL = lf_make<FloatEditParameter>("MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 0x8057, 371);

IntParameter& MAIN_WINDOW_X = lf_make<IntParameter>("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter& MAIN_WINDOW_Y = lf_make<IntParameter>("MAIN_WINDOW_Y", 20, -30000, 30000);
IntParameter& MAX_LIVE = lf_make<IntParameter>("MAX_LIVE", -1, -1, 300);
IntParameter& CUSTOM_MAX_PARK = lf_make<IntParameter>("CUSTOM_MAX_PARK", -1, -1, 500);
IntParameter& CUSTOM_PARKING_PERCENTAGE = lf_make<IntParameter>("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
IntParameter& LATERAL_RANGE = lf_make<IntParameter>("LATERAL_RANGE", 40, 2, 100);
IntParameter& AIRPORT_RANGE = lf_make<IntParameter>("AIRPORT_RANGE", 20, 8, 30);
IntParameter& AUTO_RANGE_ABOVE_HEIGHT = lf_make<IntParameter>("AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000);
IntParameter& AIRPORT_HEIGHT = lf_make<IntParameter>("AIRPORT_HEIGHT", 18000, 2000, 45000);
IntParameter& HOLDING_THRESHOLD_METERS = lf_make<IntParameter>("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter& MAX_HOLDING_MINUTES = lf_make<IntParameter>("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter& LAST_EPOCH_TIME = lf_make<IntParameter>("LAST_EPOCH_TIME:", 0, 0, 2147483647);
IntParameter& P3D_VERSION = lf_make<IntParameter>("P3D_VERSION", 5, 5, 6);

CheckboxParameter& ALWAYS_ON_TOP = lf_make<CheckboxParameter>("ALWAYS_ON_TOP", false, 0x8003, 147);
CheckboxParameter& LOG = lf_make<CheckboxParameter>("LOG", true, 0x800B, 147);
CheckboxParameter& SCAN_LIVERIES = lf_make<CheckboxParameter>("SCAN_LIVERIES", true, 0x801D, 147);
CheckboxParameter& LIG_AUTOMATIC = lf_make<CheckboxParameter>("LIG_AUTOMATIC", true, 0x801E, 147);
CheckboxParameter& LIG_PRIORITIZE = lf_make<CheckboxParameter>("LIG_PRIORITIZE", false, 0x801F, 147);
CheckboxParameter& SUPPRESS_STUB = lf_make<CheckboxParameter>("SUPPRESS_STUB", true, 0x8020, 147);
CheckboxParameter& LEARN_SOFT = lf_make<CheckboxParameter>("LEARN_SOFT", true, 0x8009, 175);
CheckboxParameter& NAV_LIGHTS_WHILE_PARKED = lf_make<CheckboxParameter>("NAV_LIGHTS_WHILE_PARKED", true, 0x800A, 175);
CheckboxParameter& SCAN_AIRPORTS = lf_make<CheckboxParameter>("SCAN_AIRPORTS", true, 0x8021, 175);
CheckboxParameter& AFG_AUTOMATIC = lf_make<CheckboxParameter>("AFG_AUTOMATIC", true, 0x8022, 175);
CheckboxParameter& GUID_CHANGES = lf_make<CheckboxParameter>("GUID_CHANGES", true, 0x8005, 203);
CheckboxParameter& LIGHT_AIRCRAFT = lf_make<CheckboxParameter>("LIGHT_AIRCRAFT", true, 0x8029, 203);
CheckboxParameter& HELICOPTERS = lf_make<CheckboxParameter>("HELICOPTERS", true, 0x802A, 203);
CheckboxParameter& HIGH_PERF_AIRCRAFT = lf_make<CheckboxParameter>("HIGH_PERF_AIRCRAFT", true, 0x802B, 203);
CheckboxParameter& AUTO_RANGE = lf_make<CheckboxParameter>("AUTO_RANGE", true, 0x8033, 231);
CheckboxParameter& SIM_TIME = lf_make<CheckboxParameter>("SIM_TIME", false, 0x805E, 231);
CheckboxParameter& COLLISION_USER_AIR = lf_make<CheckboxParameter>("COLLISION_USER_AIR", true, 0x8041, 287);
CheckboxParameter& COLLISION_USER_GND = lf_make<CheckboxParameter>("COLLISION_USER_GND", true, 0x8042, 287);
CheckboxParameter& COLLISION_LIVE_PARKED_GND =
    lf_make<CheckboxParameter>("COLLISION_LIVE_PARKED_GND", false, 0x8043, 287);
CheckboxParameter& KEEP_SIM_TIME_PAR = lf_make<CheckboxParameter>("KEEP_SIM_TIME_PAR", false, 0x805F, 287);
CheckboxParameter& STRAIGHT_PBS_ONLY = lf_make<CheckboxParameter>("STRAIGHT_PBS_ONLY", false, 0x8058, 315);
CheckboxParameter& INITIAL_LOAD_ONLY = lf_make<CheckboxParameter>("INITIAL_LOAD_ONLY", false, 0x8052, 371);
CheckboxParameter& PARK_SOFT = lf_make<CheckboxParameter>("PARK_SOFT", true, 0x8053, 371);
CheckboxParameter& PARK_FAKE = lf_make<CheckboxParameter>("PARK_FAKE", false, 0x8054, 371);
CheckboxParameter& WEEK = lf_make<CheckboxParameter>("WEEK", false, 0x8056, 371);
CheckboxParameter& RT_PARKTRAFFIC_ONLY = lf_make<CheckboxParameter>("RT_PARKTRAFFIC_ONLY", false, 0x8059, 371);

EditStringParameter& BLOCK_CALLSIGN = lf_make<EditStringParameter>("BLOCK_CALLSIGN", "", 0x803C, 259);
EditStringParameter& DESTINATION = lf_make<EditStringParameter>("DESTINATION", "", 0x8047, 343);
EditStringParameter& ALL_INSTALL_PATH = lf_make<EditStringParameter>("ALL_INSTALL_PATH", "", 0x8014, 119);
StringParameter& PROGRAM_VERSION = lf_make<StringParameter>("PROGRAM_VERSION", "");
StringParameter& PROGRAM_INSTALL_PATH = lf_make<StringParameter>("PROGRAM_INSTALL_PATH", "");
StringParameter& SIM_INSTALL_PATH = lf_make<StringParameter>("SIM_INSTALL_PATH", "");
StringParameter& AIG_VERSION = lf_make<StringParameter>("AIG_VERSION", "");
StringParameter& DBASE_VERSION = lf_make<StringParameter>("DBASE_VERSION", "");
StringParameter& RT_LICENSE = lf_make<StringParameter>("RT_LICENSE", "", TextKind::secret);
const std::array<StringParameter*, 10>& lfolder = lf_folders("lfolder");
const std::array<StringParameter*, 10>& afolder = lf_folders("afolder");

StringParameter& metaAuthor = lf_make<StringParameter>("author", "");
StringParameter& metaDate = lf_make<StringParameter>("date", "");
StringParameter& metaVersion = lf_make<StringParameter>("version", "");
StringParameter& metaP3D = lf_make<StringParameter>("P3D", "");
StringParameter& metaMSFS = lf_make<StringParameter>("MSFS", "");

ButtonParameter& FLUSH_STATIC = lf_make<ButtonParameter>("Flush static", 0x805A, 369);
ButtonParameter& UNBLOCK = lf_make<ButtonParameter>("Unblock", 0x803D, 257);
ButtonParameter& RE_READ = lf_make<ButtonParameter>("Re-read", 0x8046, 341);

// ---------------------------------------------------------------------------

const ParameterLists& storedParameterLists()
{
    static const ParameterLists& lists = *[] {
        auto* l = new ParameterLists;
        l->checkboxes = {&SIM_TIME,           &KEEP_SIM_TIME_PAR, &RT_PARKTRAFFIC_ONLY,
                         &AFG_AUTOMATIC,      &COLLISION_USER_AIR, &COLLISION_USER_GND,
                         &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG,
                         &ALWAYS_ON_TOP,      &SCAN_LIVERIES,     &LIG_AUTOMATIC,
                         &LIG_PRIORITIZE,     &SCAN_AIRPORTS,     &LIGHT_AIRCRAFT,
                         &HELICOPTERS,        &HIGH_PERF_AIRCRAFT, &NAV_LIGHTS_WHILE_PARKED,
                         &AUTO_RANGE,         &LEARN_SOFT,        &STRAIGHT_PBS_ONLY,
                         &PARK_SOFT,          &PARK_FAKE,         &WEEK,
                         &INITIAL_LOAD_ONLY,  &GUID_CHANGES};
        l->ints = {&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X,       &MAIN_WINDOW_Y,   &LATERAL_RANGE,
                   &AIRPORT_RANGE,             &AUTO_RANGE_ABOVE_HEIGHT, &AIRPORT_HEIGHT, &LAST_EPOCH_TIME,
                   &HOLDING_THRESHOLD_METERS,  &MAX_HOLDING_MINUTES, &CUSTOM_MAX_PARK, &MAX_LIVE,
                   &P3D_VERSION};
        l->controlInts = {&MATCHING_DEPTH, &RANGE,      &MAX_FIT,         &AR_ABOVE_HEIGHT,
                          &MAX_PARK_SEL,   &MAX_LIVE_SEL, &AIRP_RANGE,    &AIRP_HEIGHT,
                          &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};
        l->strings = {&PROGRAM_VERSION, &SIM_INSTALL_PATH};
        for (StringParameter* folder : lfolder) l->strings.push_back(folder);
        for (StringParameter* folder : afolder) l->strings.push_back(folder);
        for (StringParameter* s : {&PROGRAM_INSTALL_PATH, &AIG_VERSION, &DBASE_VERSION,
                                   static_cast<StringParameter*>(&DESTINATION), &RT_LICENSE})
            l->strings.push_back(s);
        l->controlStrings = {&BLOCK_CALLSIGN};
        return l;
    }();
    return lists;
}

const std::vector<Parameter*>& allOptionRecords()
{
    static const std::vector<Parameter*>& all = *[] {
        auto* v = new std::vector<Parameter*>{
            &RANGE,         &MAX_LIVE_SEL,     &MAX_PARK_SEL,     &MATCHING_DEPTH, &AR_ABOVE_HEIGHT,
            &AIRP_RANGE,    &AIRP_HEIGHT,      &MAX_FIT,          &parking_percentage,
            &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &MAX_FIT_FL,
            &MAIN_WINDOW_X, &MAIN_WINDOW_Y,    &MAX_LIVE,         &CUSTOM_MAX_PARK, &CUSTOM_PARKING_PERCENTAGE,
            &LATERAL_RANGE, &AIRPORT_RANGE,    &AUTO_RANGE_ABOVE_HEIGHT, &AIRPORT_HEIGHT,
            &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &LAST_EPOCH_TIME, &P3D_VERSION,
            &ALWAYS_ON_TOP, &LOG,              &SCAN_LIVERIES,    &LIG_AUTOMATIC,  &LIG_PRIORITIZE,
            &SUPPRESS_STUB, &LEARN_SOFT,       &NAV_LIGHTS_WHILE_PARKED, &SCAN_AIRPORTS, &AFG_AUTOMATIC,
            &GUID_CHANGES,  &LIGHT_AIRCRAFT,   &HELICOPTERS,      &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,
            &SIM_TIME,      &COLLISION_USER_AIR, &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND,
            &KEEP_SIM_TIME_PAR, &STRAIGHT_PBS_ONLY, &INITIAL_LOAD_ONLY, &PARK_SOFT, &PARK_FAKE,
            &WEEK,          &RT_PARKTRAFFIC_ONLY,
            &BLOCK_CALLSIGN, &DESTINATION,     &ALL_INSTALL_PATH, &PROGRAM_VERSION, &PROGRAM_INSTALL_PATH,
            &SIM_INSTALL_PATH, &AIG_VERSION,   &DBASE_VERSION, &RT_LICENSE};
        for (StringParameter* folder : lfolder) v->push_back(folder);
        for (StringParameter* folder : afolder) v->push_back(folder);
        for (Parameter* p : std::initializer_list<Parameter*>{&metaAuthor, &metaDate, &metaVersion, &metaP3D,
                                                              &metaMSFS, &FLUSH_STATIC, &UNBLOCK, &RE_READ})
            v->push_back(p);
        return v;
    }();
    return all;
}

Parameter* findOptionRecord(std::string_view name)
{
    for (Parameter* p : allOptionRecords())
        if (p->name() == name) return p;
    return nullptr;
}

void resetOptionsToDefaults()
{
    for (Parameter* p : allOptionRecords()) {
        if (auto* i = dynamic_cast<IntParameter*>(p)) i->reset();
        if (auto* s = dynamic_cast<StringParameter*>(p)) s->reset();
        if (auto* b = dynamic_cast<BoolParameter*>(p)) b->reset();
        if (auto* f = dynamic_cast<FloatEditParameter*>(p)) f->reset();
        if (auto* c = dynamic_cast<ParameterControl*>(p)) {
            c->setWindow(nullptr);
            c->setPreviousProc(nullptr);
        }
    }
}
