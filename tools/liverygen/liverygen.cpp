#include "liverygen.h"

#include <array>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/fmt.h"

namespace fs = std::filesystem;

namespace liverygen {

namespace {

enum class Category { Light, Buzjet, Large, Heavy, HighPerf, Rotorcraft };

struct Type {
    const char* icao;
    const char* maker;
    const char* name;
    Category category;
};

constexpr Type types[] = {
    {"B738", "Boeing", "737-800", Category::Large},     {"A320", "Airbus", "A320-200", Category::Large},
    {"A321", "Airbus", "A321-200", Category::Large},    {"E190", "Embraer", "E190", Category::Large},
    {"CRJ9", "Bombardier", "CRJ-900", Category::Large}, {"DH8D", "Bombardier", "Dash 8 Q400", Category::Large},
    {"AT76", "ATR", "ATR 72-600", Category::Large},     {"B744", "Boeing", "747-400", Category::Heavy},
    {"B77W", "Boeing", "777-300ER", Category::Heavy},   {"A332", "Airbus", "A330-200", Category::Heavy},
    {"B763", "Boeing", "767-300", Category::Heavy},     {"C172", "Cessna", "172 Skyhawk", Category::Light},
    {"C208", "Cessna", "208 Caravan", Category::Light}, {"PC12", "Pilatus", "PC-12", Category::Light},
    {"C56X", "Cessna", "Citation Excel", Category::Buzjet}, {"GLF5", "Gulfstream", "G-V", Category::Buzjet},
    {"EC35", "Eurocopter", "EC135", Category::Rotorcraft},  {"F16", "General Dynamics", "F-16", Category::HighPerf},
    {"T154", "Tupolev", "Tu-154M", Category::Large},
};

// Wrong codes some files carry, with the code the database corrects them to.
constexpr std::pair<const char*, const char*> fixes[] = {{"B73H", "B738"}, {"A20N", "A320"}, {"B77X", "B77W"}};

constexpr const char* airlines[] = {"BAW", "DLH", "AFR", "KLM", "EZY", "RYR", "UAL", "DAL", "AAL", "SWA",
                                    "ACA", "QFA", "SIA", "UAE", "THY", "IBE", "AZA", "SAS", "FIN", "AUA",
                                    "SWR", "TAP", "LOT", "CSA", "ELY", "JAL", "ANA", "CPA", "KAL", "EVA",
                                    "FDX", "UPS", "CGX", "GTI", "CLX", "BOX", "ZZZ"};
constexpr const char* cargoAirlines[] = {"FDX", "UPS", "CGX", "GTI", "CLX", "BOX"};

// The database's registrations: "G-" + four letters from the index; each
// belongs to an airline and a type.
std::string registration(std::size_t i)
{
    std::string reg = "G-";
    for (int k = 0; k < 4; ++k) {
        reg += static_cast<char>('A' + i % 26);
        i /= 26;
    }
    return reg;
}
constexpr std::size_t registrationCount = 400;
const char* registrationAirline(std::size_t i) { return airlines[i % (std::size(airlines) - 1)]; }
const Type& registrationType(std::size_t i) { return types[i % std::size(types)]; }

std::string join(const auto& items, auto project)
{
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += ',';
        out += project(item);
    }
    return out;
}

// A small deterministic source (the standard distributions differ between libraries).
class Dice {
public:
    explicit Dice(std::uint32_t seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    bool percent(std::size_t p) { return below(100) < p; }

private:
    std::mt19937 engine_;
};

enum class Encoding { Utf8, Utf8Crlf, Utf8Bom, Utf16, Ansi };

// UTF-8 (of at most two-byte sequences, as the generator writes) to UTF-16 LE with its mark.
std::string toUtf16(std::string_view text)
{
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = static_cast<unsigned char>(text[i]);
        if (c >= 0xC0 && i + 1 < text.size()) c = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw fs::filesystem_error("cannot write", path, std::make_error_code(std::errc::io_error));
}

// The lines of an aircraft.cfg in the making, and the folders it needs.
struct Aircraft {
    std::vector<std::string> lines;
    std::vector<std::string> folders;  // relative to the aircraft folder
    std::vector<std::string> files;
};

void addSection(Aircraft& a, const std::vector<std::string>& lines)
{
    a.lines.insert(a.lines.end(), lines.begin(), lines.end());
    a.lines.emplace_back();
}

// The sections of an aircraft.cfg that hold no livery; `extra` lines of
// contact points and lights make files of different lengths.
void addOtherSections(Aircraft& a, const Type& type, const std::string& atcModelLine, std::size_t extra, bool ansi)
{
    addSection(a, {"[General]", vr::format("atc_type={}", type.maker), atcModelLine, "editable=1",
                   vr::format("performance=\"{} {}\"", type.maker, type.name), "category=airplane",
                   "Synthetic_Prop_Wash_Strength=0"});
    addSection(a, {"[WEIGHT_AND_BALANCE]", "max_gross_weight=174200", "empty_weight=91300", "reference_datum_position=0,0,0",
                   "empty_weight_CG_position=-5.0,0,0", "max_number_of_stations=50", "station_load.0=170,28,-1.5,0.0",
                   "station_load.1=170,28,1.5,0.0", "station_load.2=8000,10,0,0", "empty_weight_pitch_MOI=2575000",
                   "empty_weight_roll_MOI=1335000", "empty_weight_yaw_MOI=3732000", "empty_weight_coupled_MOI=0"});
    std::vector<std::string> contact = {"[contact_points]", "static_pitch=0.5", "static_cg_height=9.0",
                                        "gear_system_type=1"};
    for (std::size_t i = 0; i < 8 + extra; ++i) {
        contact.push_back(vr::format("point.{}=1,{:.2f},0.00,-8.50,1600,0,1.10,60.0,0.40,2.5,0.75,6.0,6.0,0,172,191", i,
                                     -10.0 + static_cast<double>(i)));
    }
    addSection(a, contact);
    addSection(a, {"[Views]", "eyepoint=45.0,-1.5,5.9", "// the virtual cockpit", "vc_eyepoint=45.0,-1.5,5.9"});
    addSection(a, {"[flight_tuning]", "cruise_lift_scalar=1.0", "parasite_drag_scalar=1.0", "induced_drag_scalar=1.0",
                   "elevator_effectiveness=1.0", "aileron_effectiveness=1.0", "rudder_effectiveness=1.0",
                   "pitch_stability=1.0", "roll_stability=1.0", "yaw_stability=1.0", "elevator_trim_effectiveness=1.0",
                   "aileron_trim_effectiveness=1.0", "rudder_trim_effectiveness=1.0"});
    addSection(a, {"[airplane_geometry]", "wing_area=1341.0", "wing_span=112.6", "wing_root_chord=17.0",
                   "wing_dihedral=6.0", "wing_incidence=1.0", "wing_twist=-3.0", "oswald_efficiency_factor=0.75",
                   "wing_winglets_flag=1", "wing_sweep=25.0", "wing_pos_apex_lon=-4.0", "wing_pos_apex_vert=0.0",
                   "htail_area=352.8", "htail_span=47.1", "htail_pos_lon=-50.0", "htail_pos_vert=0.0",
                   "htail_incidence=0.0", "htail_sweep=30.0", "vtail_area=284.0", "vtail_span=26.0",
                   "vtail_sweep=35.0", "vtail_pos_lon=-45.0", "vtail_pos_vert=10.0", "elevator_area=95.0",
                   "aileron_area=48.4", "rudder_area=59.0", "elevator_up_limit=25.0", "elevator_down_limit=20.0",
                   "aileron_up_limit=20.0", "aileron_down_limit=15.0", "rudder_limit=27.0",
                   "elevator_trim_limit=17.0", "spoiler_limit=60.0", "spoilerons_available=1",
                   "aileron_to_spoileron_gain=2.0", "min_ailerons_for_spoilerons=5", "min_flaps_for_spoilerons=0"});
    addSection(a, {"[Reference Speeds]", "flaps_up_stall_speed=120.0", "full_flaps_stall_speed=100.0",
                   "cruise_speed=460.0", "max_indicated_speed=340", "max_mach=0.82"});
    std::vector<std::string> lights = {"[lights]", "// Types: 1=beacon, 2=strobe, 3=navigation, 4=cockpit, 5=landing"};
    for (std::size_t i = 0; i < 6 + extra; ++i) {
        lights.push_back(vr::format("light.{}=3, {:.2f}, -56.20, 4.70, fx_navred", i, -2.5 + static_cast<double>(i)));
    }
    addSection(a, lights);
    addSection(a, {"[electrical]", "max_battery_voltage=24.0", "generator_alternator_voltage=28.0",
                   "max_generator_alternator_amps=120.0", "engine_generator_map=1,1", "electric_always_available=0",
                   "flap_motor=0,5.0,17.0", "gear_motor=0,5.0,17.0", "autopilot=0,5.0,17.0", "avionics_bus=0,10.0,17.0",
                   "avionics=1,5.0,17.0", "pitot_heat=0,2.0,17.0", "additional_system=0,20.0,17.0",
                   "marker_beacon=1,2.0,17.0", "gear_warning=0,2.0,17.0", "fuel_pump=0,5.0,17.0",
                   "starter1=0,20.0,17.0", "light_nav=0,5.0,17.0", "light_beacon=0,5.0,17.0",
                   "light_landing=0,5.0,17.0", "light_taxi=0,5.0,17.0", "light_strobe=0,5.0,17.0",
                   "light_panel=0,5.0,17.0"});
    addSection(a, {"[fuel]", "Center1=-4.0,0.0,0.0,8630.0,0.0", "LeftMain=-8.0,-20.0,0.0,1499.0,0.0",
                   "RightMain=-8.0,20.0,0.0,1499.0,0.0", "fuel_type=2", "number_of_tank_selectors=1",
                   "electric_pump=1", "fuel_dump_rate=0.0"});
    addSection(a, {"[GeneralEngineData]", "engine_type=1", "min_throttle_limit=-0.25", "master_ignition_switch=0",
                   "Engine.0=-5.5,-16.1,-4.0", "Engine.1=-5.5,16.1,-4.0", "fuel_flow_scalar=1.0"});
    addSection(a, {"[TurbineEngineData]", "fuel_flow_gain=0.002", "inlet_area=19.6", "rated_N2_rpm=29920",
                   "static_thrust=24000.0", "reverser_available=1", "reverser_mach_controlled=0",
                   "afterburner_available=0", "ThrustSpecificFuelConsumption=0.355",
                   "AfterBurnThrustSpecificFuelConsumption=0.0"});
    addSection(a, {"[flaps.0]", "type=1", "span-outboard=0.5", "extending-time=20", "system_type=0",
                   "damaging-speed=250", "blowout-speed=300", "lift_scalar=1.0", "drag_scalar=1.0", "pitch_scalar=1.0",
                   "flaps-position.0=0, 0", "flaps-position.1=1, 210", "flaps-position.2=5, 190",
                   "flaps-position.3=15, 170", "flaps-position.4=30, 150", "flaps-position.5=40, 140"});
    addSection(a, {"[autopilot]", "autopilot_available=1", "flight_director_available=1",
                   "default_vertical_speed=1800.0", "autothrottle_available=1", "autothrottle_arming_required=0",
                   "autothrottle_max_rpm=90", "autothrottle_takeoff_ga=1", "pitch_takeoff_ga=8.000000",
                   "max_pitch=10.000000", "max_pitch_acceleration=1.000000", "max_pitch_velocity_lo_alt=2.000000",
                   "max_pitch_velocity_hi_alt=1.500000", "max_bank=25.000000", "max_bank_acceleration=1.800000",
                   "max_bank_velocity=3.000000", "nav_integrator_ceiling_max=0.0", "gs_integrator_ceiling_max=0.0"});
    addSection(a, {"[brakes]", "toe_brakes_scale=1.0", "parking_brake=1", "auto_brakes=4"});
    addSection(a, {"[hydraulic_system]", "normal_pressure=3000.0", "electric_pumps=0", "engine_map=1,1,0,0"});
    addSection(a, {"[pitot_static]", "vertical_speed_time_constant=1", "pitot_heat=1"});
    addSection(a, {"[effects]", "wake=fx_wake", "water=fx_spray", "dirt=fx_tchdrt", "concrete=fx_sparks",
                   "touchdown=fx_tchdwn_s, 1", "contrail=fx_contrail_l"});
    addSection(a, {"[exits]", "number_of_exits=2", "exit_rate.0=0.4", "exit_rate.1=0.4"});
    addSection(a, {"[radios]", "// Radio Type=availiable, standby frequency, has glide slope", "Audio.1=1",
                   "Com.1=1, 1", "Com.2=1, 1", "Nav.1=1, 1, 1", "Nav.2=1, 1, 0", "Adf.1=1", "Transponder.1=1",
                   "Marker.1=1"});
    addSection(a, {"[stall_warning]", "type=2", "stick_shaker=1"});
    addSection(a, {"[keyboard_response]", "elevator=150, 250", "aileron=150, 250", "rudder=150, 250"});
    addSection(a, {"[direction_indicators]", "direction_indicator.0=3,0"});
    addSection(a, {"[attitude_indicators]", "attitude_indicator.0=1"});
    addSection(a, {"[turn_indicators]", "turn_indicator.0=1,0"});
    addSection(a, {"[forcefeedback]", "stick_shaker_magnitude=5000", "stick_shaker_direction=0",
                   "stick_shaker_period=111111", "gear_bump_nose_magnitude=6000", "gear_bump_nose_direction=18000",
                   "gear_bump_nose_duration=250000", "gear_bump_left_magnitude=6000", "gear_bump_left_direction=35500",
                   "gear_bump_left_duration=250000", "gear_bump_right_magnitude=6000",
                   "gear_bump_right_direction=00500", "gear_bump_right_duration=250000",
                   "ground_bumps_magnitude1=3300", "ground_bumps_angle1=08900", "ground_bumps_intercept1=5.0",
                   "ground_bumps_slope1=0.20", "ground_bumps_magnitude2=200", "ground_bumps_angle2=09000",
                   "ground_bumps_intercept2=0.075", "ground_bumps_slope2=1.0", "crash_magnitude1=10000",
                   "crash_direction1=01000", "crash_magnitude2=10000", "crash_direction2=9000",
                   "crash_period2=75000", "crash_duration2=2500000"});
    addSection(a, {"[TailHook]", "tailhook_length=0", "tailhook_position=0.0,0.0,0.0", "cable_force_adjust=0"});
    addSection(a, {"[Smoke]", "smoke.0=0,-60.0,0.0,4.0,fx_smoke_w"});
    addSection(a, {"[deice_system]", "structural_deice_type=1"});
    addSection(a, {"[gear_warning_system]", "gear_warning_available=1", "pct_throttle_limit=0.1",
                   "flap_limit_power=40.0", "flap_limit_idle=40.0"});
    addSection(a, {"[autothrust]", "// " + std::string(ansi ? "r\xE9glage" : "r\xC3\xA9glage") + " of the autothrust",
                   "mode=1"});
}

// One [fltsim.N] section: its keys in the order a repaint writes them.
struct Section {
    std::size_t number = 0;
    std::string title;
    std::string texture;
    std::string codes;  // atc_parking_codes, empty: no line
    std::string types = "GATE_MEDIUM,GATE_HEAVY";
    std::string atcId;  // empty: no line
    std::vector<std::string> extra;  // more key lines after the usual ones
    bool titleLine = true;
};

std::vector<std::string> sectionLines(const Section& s, const Type& type, const std::string& sim, bool ansi)
{
    std::vector<std::string> lines = {vr::format("[fltsim.{}]", s.number)};
    if (s.titleLine) lines.push_back("title=" + s.title);
    lines.push_back("sim=" + sim);
    lines.push_back("model=");
    lines.push_back("panel=");
    lines.push_back("sound=");
    lines.push_back("texture=" + s.texture);
    lines.push_back("atc_airline=" + std::string(s.codes.empty() ? "Private" : s.codes.substr(0, 3)));
    lines.push_back("atc_flight_number=" + std::to_string(100 + s.number));
    if (!s.codes.empty()) lines.push_back("atc_parking_codes=" + s.codes);
    lines.push_back("atc_parking_types=" + s.types);
    if (!s.atcId.empty()) lines.push_back("atc_id=" + s.atcId);
    lines.push_back("ui_manufacturer=\"" + std::string(type.maker) + "\"");
    lines.push_back("ui_type=\"" + std::string(type.name) + "\"");
    lines.push_back("ui_variation=\"" + s.title + "\"");
    lines.push_back("ui_typerole=\"Commercial Airliner\"");
    lines.push_back("ui_createdby=\"Vormeth liverygen\"");
    lines.push_back("description=\"" + s.title + ", an AI repaint by Andr" + (ansi ? "\xE9" : "\xC3\xA9") + ".\"");
    lines.insert(lines.end(), s.extra.begin(), s.extra.end());
    return lines;
}

std::string encode(const std::vector<std::string>& lines, Encoding encoding)
{
    const bool crlf = encoding != Encoding::Utf8;
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += crlf ? "\r\n" : "\n";
    }
    switch (encoding) {
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case Encoding::Utf16:
        return toUtf16(text);
    default:
        return text;
    }
}

void writeAircraft(const fs::path& folder, const Aircraft& a, Encoding encoding)
{
    fs::create_directories(folder);
    for (const auto& f : a.folders) fs::create_directories(folder / f);
    for (const auto& f : a.files) writeFile(folder / f, "");
    writeFile(folder / "aircraft.cfg", encode(a.lines, encoding));
}

class Generator {
public:
    Generator(const fs::path& root, std::uint32_t seed) : root_(root), dice_(seed) {}

    void normalFile(std::size_t index, Library& library);
    void ivaoFile(std::size_t index, Library& library);

private:
    // The livery sections of an ordinary file whose type is fine.
    void liverySections(std::size_t index, const Type& type, Aircraft& a, Expected& e, bool ansi);

    fs::path root_;
    Dice dice_;
};

void Generator::liverySections(std::size_t index, const Type& type, Aircraft& a, Expected& e, bool ansi)
{
    const std::size_t count = 4 + dice_.below(16);
    const bool light = type.category == Category::Light;
    const bool heavy = type.category == Category::Heavy;
    std::string firstTitle;
    for (std::size_t n = 0; n < count; ++n) {
        Section s;
        s.number = n;
        const char* airline = airlines[dice_.below(std::size(airlines) - 1)];
        const bool cargo = dice_.percent(10);
        if (cargo) airline = cargoAirlines[dice_.below(std::size(cargoAirlines))];
        s.title = vr::format("{} {} {} {}-{}", airline, type.maker, type.name, index, n);
        s.texture = vr::format("{}_{}", airline, n);
        s.codes = std::string(airline) + (dice_.percent(30) ? "X" : "");
        if (cargo) s.types = "CARGO,RAMP_CARGO";
        if (dice_.percent(60)) s.atcId = vr::format("{}{:04}", airline[0], index * 37 + n);
        bool textureFolder = true;
        bool candidate = true;  // the section reaches the hand-out of its title
        const std::size_t fault = dice_.below(100);
        if (fault < 3) {  // an unknown code, then a good one
            s.extra.push_back("atc_parking_codes=" + std::string(airline));
            s.codes = "Q" + std::to_string(n % 10) + "Q";
            ++e.invalidAirlineCodes;
            ++e.liveries;
        } else if (fault < 5) {  // a second title
            s.extra.push_back("title=" + s.title + " again");
            ++e.incompleteSections;
            candidate = false;
        } else if (fault < 7) {  // a registration with a star
            s.atcId = "G-AB*";
            ++e.incompleteSections;
            ++e.liveries;
        } else if (fault < 9) {  // no texture folder
            textureFolder = false;
            ++e.incompleteSections;
            candidate = false;
        } else if (fault < 10) {  // no title
            s.titleLine = false;
            ++e.incompleteSections;
            candidate = false;
        } else if (fault < 11) {  // the placeholder of a repaint kit
            s.codes = "RFO";
            candidate = false;
        } else if (fault < 12) {  // a second registration
            if (s.atcId.empty()) s.atcId = "G-ZZZZ";
            s.extra.push_back("atc_id=G-YYYY");
            ++e.incompleteSections;
            candidate = false;
        } else if (fault < 14 && !firstTitle.empty()) {  // the title of an earlier section
            s.title = firstTitle;
            ++e.incompleteSections;
            candidate = false;
        } else if (fault < 16) {  // no airline, but a registration of the database
            s.codes.clear();
            s.atcId = registration(dice_.below(registrationCount));
            ++e.incompleteSections;
            ++e.liveries;
        } else if (fault < 18 && (light || heavy)) {  // no airline and no registration
            s.codes.clear();
            s.atcId.clear();
            e.incompleteSections += heavy ? 2 : 1;  // a heavy one is refused too
            if (light) ++e.liveries;
            candidate = light;
        } else {
            ++e.liveries;
        }
        if (firstTitle.empty() && candidate) firstTitle = s.title;
        if (textureFolder) a.folders.push_back("texture." + s.texture);
        addSection(a, sectionLines(s, type, type.icao, ansi));
    }
}

void Generator::normalFile(std::size_t index, Library& library)
{
    Expected& e = library.expected;
    const std::size_t fault = dice_.below(100);
    const Type* typePick = &types[dice_.below(std::size(types) - 1)];  // T154 is for IVAO only
    const auto& fix = fixes[dice_.below(std::size(fixes))];
    if (fault >= 3 && fault < 5) {  // a type the database has a fix for
        for (const auto& t : types) {
            if (std::string_view(t.icao) == fix.second) typePick = &t;
        }
    }
    const Type& type = *typePick;
    Aircraft a;
    a.folders = {"model", "panel", "sound"};
    a.files = {std::string(type.icao) + ".air"};
    std::string atcModel = vr::format("atc_model={}", type.icao);
    bool scanned = true;
    if (fault < 3) {
        atcModel = "atc_model=ZQ9" + std::to_string(index % 10);
        ++e.invalidAircraftCodes;
        scanned = false;
    } else if (fault < 5) {
        atcModel = std::string("atc_model=") + fix.first;
        ++e.fixes;
    } else if (fault < 7) {
        atcModel = "//atc_model=";
        ++e.invalidCfgFiles;
        scanned = false;
    } else if (fault < 9) {
        a.lines.push_back("[fltsim.10001]");
        a.lines.push_back("title=beyond the last section");
        a.lines.emplace_back();
        ++e.invalidCfgFiles;
        scanned = false;
    } else if (fault < 11) {
        ++e.noFltsimSection;
        scanned = false;
    }
    const Encoding encoding = static_cast<Encoding>(dice_.below(5));
    const bool noSections = fault >= 9 && fault < 11;
    if (!noSections) {
        Expected ignored;  // a file that is skipped reports none of its sections
        liverySections(index, type, a, scanned ? e : ignored, encoding == Encoding::Ansi);
    }
    addOtherSections(a, type, atcModel, dice_.below(50), encoding == Encoding::Ansi);
    const std::string folder = vr::format("{} {} {:04}", type.maker, type.icao, index);
    writeAircraft(root_ / "SimObjects" / "Airplanes" / folder, a, encoding);
    library.lines += a.lines.size();
}

void Generator::ivaoFile(std::size_t index, Library& library)
{
    Expected& e = library.expected;
    const Type& type = types[dice_.below(std::size(types))];
    if (type.category != Category::Large && type.category != Category::Heavy) return normalFile(index, library);
    Aircraft a;
    a.folders = {"model"};
    a.files = {std::string(type.icao) + ".air"};
    const std::size_t count = 4 + dice_.below(16);
    for (std::size_t n = 0; n < count; ++n) {
        Section s;
        s.number = n;
        const char* airline = airlines[dice_.below(std::size(airlines) - 1)];
        s.title = vr::format("{} {} {} IVAO {}-{}", airline, type.maker, type.name, index, n);
        if (dice_.percent(4)) {
            s.title = "Q" + std::to_string(n % 10) + "Q" + s.title.substr(3);
            ++e.invalidAirlineCodes;
        } else {
            ++e.liveries;
        }
        s.texture = vr::format("{}_{}", airline, n);
        s.codes = airline;
        a.folders.push_back("texture." + s.texture);
        addSection(a, sectionLines(s, type, type.icao, false));
    }
    addOtherSections(a, type, "atc_model=", dice_.below(50), false);
    const std::string folder = vr::format("IVAO_{}{}", type.icao, index % 2 ? "w" : "");
    // The type comes from the folder name, so each file gets an IVAO_MTL of its own.
    const fs::path path = root_ / "IVAO" / vr::format("{:04}", index) / "IVAO_MTL" / folder;
    writeAircraft(path, a, index % 3 ? Encoding::Utf8Crlf : Encoding::Utf16);
    library.lines += a.lines.size();
}

}  // namespace

std::string generatedDbaseXml()
{
    const auto ofCategory = [](Category c) {
        std::vector<std::string> codes;
        for (const auto& t : types) {
            if (t.category == c) codes.emplace_back(t.icao);
        }
        return join(codes, [](const std::string& s) { return s; });
    };
    std::string xml;
    xml += "<aircrafts><aircraft types=\"" + join(types, [](const Type& t) { return std::string(t.icao); }) +
           "\"/></aircrafts>\n";
    xml += "<high_performance><hpf types=\"" + ofCategory(Category::HighPerf) + "\"/></high_performance>\n";
    xml += "<heavy><hvy types=\"" + ofCategory(Category::Heavy) + "\"/></heavy>\n";
    xml += "<large><lar types=\"" + ofCategory(Category::Large) + "\"/></large>\n";
    xml += "<buzjet><bzj types=\"" + ofCategory(Category::Buzjet) + "\"/></buzjet>\n";
    xml += "<rotorcraft><rot types=\"" + ofCategory(Category::Rotorcraft) + "\"/></rotorcraft>\n";
    xml += "<cargo_types><cargo_type types=\"B744,B763\"/></cargo_types>\n";
    xml += "<similar_types><similar types=\"A320,A321,B738\"/><similar types=\"B763,A332\"/></similar_types>\n";
    xml += "<ICAO_airlines><ICAO codes=\"" + join(airlines, [](const char* a) { return std::string(a); }) +
           "\"/></ICAO_airlines>\n";
    xml += "<cargo_operators><ICAO codes=\"" + join(cargoAirlines, [](const char* a) { return std::string(a); }) +
           "\"/></cargo_operators>\n";
    xml += "<wingspans>";
    for (const auto& t : types) xml += vr::format("<wingspan type=\"{}\" meters=\"{}\"/>", t.icao, 10 + std::string_view(t.icao).size() * 9);
    xml += "</wingspans>\n<fixes>";
    for (const auto& [wrong, right] : fixes) xml += vr::format("<fx wro=\"{}\" cor=\"{}\"/>", wrong, right);
    xml += "</fixes>\n<simaddonsP3D><simaddonP3D arpts=\"KLAX,EHAM\"/></simaddonsP3D>\n<dbase>\n";
    for (std::size_t i = 0; i < registrationCount; ++i) {
        xml += vr::format("<db reg=\"{}\" airl=\"{}\" type=\"{}\" opr=\"\" cargo=\"false\"/>\n", registration(i),
                          registrationAirline(i), registrationType(i).icao);
    }
    xml += "</dbase>\n";
    return xml;
}

Library generateLiveryLibrary(const fs::path& dir, std::size_t count, std::uint32_t seed)
{
    Library library;
    library.root = dir;
    fs::create_directories(dir);
    Generator generator(dir, seed);
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 10 == 9) {
            generator.ivaoFile(i, library);
        } else {
            generator.normalFile(i, library);
        }
    }
    library.files = count;
    library.dbaseXml = dir / "dbase.xml";
    writeFile(library.dbaseXml, generatedDbaseXml());
    return library;
}

fs::path writeSingleAircraft(const fs::path& folder, std::size_t sections)
{
    const Type& type = types[0];
    Aircraft a;
    a.folders = {"model"};
    a.files = {std::string(type.icao) + ".air"};
    for (std::size_t n = 0; n < sections; ++n) {
        Section s;
        s.number = n;
        const char* airline = airlines[n % (std::size(airlines) - 1)];
        s.title = vr::format("{} {} {} single-{}", airline, type.maker, type.name, n);
        s.texture = vr::format("{}_{}", airline, n);
        s.codes = airline;
        s.atcId = vr::format("{}{:04}", airline[0], n);
        a.folders.push_back("texture." + s.texture);
        addSection(a, sectionLines(s, type, type.icao, false));
    }
    addOtherSections(a, type, vr::format("atc_model={}", type.icao), 35, false);
    writeAircraft(folder, a, Encoding::Utf8Crlf);
    return folder / "aircraft.cfg";
}

}  // namespace liverygen
