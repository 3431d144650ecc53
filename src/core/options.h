#pragma once
// The option records: one process-wide record per user setting, built with its
// default before main() and alive until the process ends (never destroyed:
// detached reader threads read them while the process exits).
//
// Any thread may read any record at any time. Integer, bool and float values are
// relaxed atomics; a text is read as a copy taken under the record's own lock
// (BLOCK_CALLSIGN is typed on the UI thread while the traffic reader compares
// it for every record).
//
// The window controls of the records are reached only through OptionView, so
// this code never knows the window system.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Opaque window-system handles kept in the records for the window code.
using ControlHandle = void*;
using WindowProc = void*;

// A text shared between threads: read as a copy under a lock.
class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string text) : text_(std::move(text)) {}
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;

    std::string get() const
    {
        std::lock_guard lock(mutex_);
        return text_;
    }
    void set(std::string text)
    {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }
    bool empty() const
    {
        std::lock_guard lock(mutex_);
        return text_.empty();
    }
    bool operator==(std::string_view other) const
    {
        std::lock_guard lock(mutex_);
        return text_ == other;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

class Parameter {
public:
    explicit Parameter(std::string name) : name_(std::move(name)) {}
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;
    virtual ~Parameter() = default;

    // The option's key in parameters.xml (for the meta records: the meta entry's name).
    const std::string& name() const { return name_; }

private:
    const std::string name_;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string name, std::int32_t defaultValue, std::int32_t min, std::int32_t max)
        : Parameter(std::move(name)), default_(defaultValue), min_(min), max_(max), current_(defaultValue)
    {
    }

    std::int32_t get() const { return current_.load(std::memory_order_relaxed); }
    void set(std::int32_t value) { current_.store(value, std::memory_order_relaxed); }
    std::int32_t defaultValue() const { return default_; }
    std::int32_t min() const { return min_; }
    std::int32_t max() const { return max_; }
    // value limited to [min, max].
    std::int32_t clamped(std::int64_t value) const
    {
        return static_cast<std::int32_t>(value < min_ ? min_ : value > max_ ? max_ : value);
    }
    void reset() { set(default_); }

private:
    const std::int32_t default_;
    const std::int32_t min_;
    const std::int32_t max_;
    std::atomic<std::int32_t> current_;
};

// A text option. A secret one (the service key) is never written to a log:
// its log lines say only whether it is set.
enum class TextKind { plain, secret };

class StringParameter : public Parameter {
public:
    StringParameter(std::string name, std::string defaultValue, TextKind kind = TextKind::plain)
        : Parameter(std::move(name)), default_(std::move(defaultValue)), kind_(kind), current_(default_)
    {
    }

    std::string get() const { return current_.get(); }
    void set(std::string value) { current_.set(std::move(value)); }
    bool empty() const { return current_.empty(); }
    const std::string& defaultValue() const { return default_; }
    void reset() { set(default_); }
    bool secret() const { return kind_ == TextKind::secret; }

private:
    const std::string default_;
    const TextKind kind_;
    SharedText current_;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name, bool defaultValue)
        : Parameter(std::move(name)), default_(defaultValue), current_(defaultValue)
    {
    }

    bool get() const { return current_.load(std::memory_order_relaxed); }
    void set(bool value) { current_.store(value, std::memory_order_relaxed); }
    bool defaultValue() const { return default_; }
    void reset() { set(default_); }

private:
    const bool default_;
    std::atomic<bool> current_;
};

// Second base of every record that the main window shows.
class ParameterControl {
public:
    ParameterControl(std::uint16_t controlId, std::uint32_t row) : controlId_(controlId), row_(row) {}
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;
    virtual ~ParameterControl() = default;

    // The child-window id the main window's command handler dispatches on.
    std::uint16_t controlId() const { return controlId_; }
    // The y coordinate of the control's line in the main window.
    std::uint32_t row() const { return row_; }

    // Set by the window code (UI thread), read from the worker: atomics.
    ControlHandle window() const { return window_.load(std::memory_order_acquire); }
    void setWindow(ControlHandle window) { window_.store(window, std::memory_order_release); }
    WindowProc previousProc() const { return previousProc_.load(std::memory_order_acquire); }
    void setPreviousProc(WindowProc proc) { previousProc_.store(proc, std::memory_order_release); }

    // Enables (or disables) the control; nothing while it does not exist.
    void enable(bool on = true) const;

private:
    const std::uint16_t controlId_;
    const std::uint32_t row_;
    std::atomic<ControlHandle> window_{nullptr};
    std::atomic<WindowProc> previousProc_{nullptr};
};

class CheckboxParameter : public BoolParameter, public ParameterControl {
public:
    CheckboxParameter(std::string name, bool defaultValue, std::uint16_t controlId, std::uint32_t row)
        : BoolParameter(std::move(name), defaultValue), ParameterControl(controlId, row)
    {
    }
};

class EditParameter : public IntParameter, public ParameterControl {
public:
    EditParameter(std::string name, std::int32_t defaultValue, std::int32_t min, std::int32_t max,
                  std::uint16_t controlId, std::uint32_t row)
        : IntParameter(std::move(name), defaultValue, min, max), ParameterControl(controlId, row)
    {
    }
};

// An edit field holding a float (MAX_FIT_FL, hours). Never stored.
class FloatEditParameter : public Parameter, public ParameterControl {
public:
    FloatEditParameter(std::string name, float defaultValue, float min, float max, std::uint16_t controlId,
                       std::uint32_t row)
        : Parameter(std::move(name)), ParameterControl(controlId, row), default_(defaultValue), min_(min),
          max_(max), current_(defaultValue)
    {
    }

    float get() const { return current_.load(std::memory_order_relaxed); }
    void set(float value) { current_.store(value, std::memory_order_relaxed); }
    float defaultValue() const { return default_; }
    float min() const { return min_; }
    float max() const { return max_; }
    float clamped(float value) const { return value < min_ ? min_ : value > max_ ? max_ : value; }
    void reset() { set(default_); }

private:
    const float default_;
    const float min_;
    const float max_;
    std::atomic<float> current_;
};

// A drop-down list of fixed integer choices; min is the first choice, max the last.
class ComboParameter : public IntParameter, public ParameterControl {
public:
    ComboParameter(std::string name, std::int32_t defaultValue, const std::vector<std::int32_t>& choices,
                   std::uint16_t controlId, std::uint32_t row);

    const std::vector<std::int32_t>& choices() const { return choices_; }
    // Index of value among the choices, -1 when it is not one of them.
    int choiceIndex(std::int32_t value) const;
    // Refills the list with the choices as decimal texts and selects the current
    // value (no selection when it is not a choice). Nothing before the control exists.
    void fillControl() const;

private:
    const std::vector<std::int32_t> choices_;  // its own copy
};

class EditStringParameter : public StringParameter, public ParameterControl {
public:
    EditStringParameter(std::string name, std::string defaultValue, std::uint16_t controlId, std::uint32_t row)
        : StringParameter(std::move(name), std::move(defaultValue)), ParameterControl(controlId, row)
    {
    }
};

// A push button: a name and a control, no value, never stored.
class ButtonParameter : public Parameter, public ParameterControl {
public:
    ButtonParameter(std::string name, std::uint16_t controlId, std::uint32_t row)
        : Parameter(std::move(name)), ParameterControl(controlId, row)
    {
    }
};

// ---------------------------------------------------------------------------
// The control work, done by the window code. Every call may come from any
// thread (the options are loaded on the worker thread). Texts are UTF-8.
class OptionView {
public:
    virtual ~OptionView() = default;
    // The handle names a live control window.
    virtual bool isLive(ControlHandle window) const = 0;
    virtual void setCheck(const ParameterControl& control, bool checked) = 0;
    // Empties the list, adds the items in order, selects `selected` (-1: none).
    virtual void setComboItems(const ParameterControl& control, const std::vector<std::string>& items,
                               int selected) = 0;
    // Selects an item of the list (-1: none).
    virtual void selectComboItem(const ParameterControl& control, int index) = 0;
    virtual void setText(const ParameterControl& control, const std::string& text) = 0;
    virtual void enable(const ParameterControl& control, bool on) = 0;
};

// Installs the view (not owned; it must outlive its use). nullptr: every control call does nothing.
void setOptionView(OptionView* view);

// Put a record's current value into its control: decimal text in an edit, the
// selection of a combo record's list, the float with one decimal or none, the
// text unchanged. Nothing when the record has no control or it does not exist yet.
void showIntParameterText(const IntParameter& record);
void showFloatParameterText(const FloatEditParameter& record);
void showStringParameterText(const StringParameter& record);
// Sets a check box from the record's current value.
void showCheckboxState(const CheckboxParameter& record);

// ---------------------------------------------------------------------------
// The records. References to objects that are never destroyed; they are bound
// during static initialisation, so no other static initialiser may use them.

inline constexpr std::int32_t kRangeDefaultNm = 40;

// Integers with a control.
extern ComboParameter& RANGE;
extern ComboParameter& MAX_LIVE_SEL;
extern ComboParameter& MAX_PARK_SEL;
extern ComboParameter& MATCHING_DEPTH;
extern ComboParameter& AR_ABOVE_HEIGHT;
extern ComboParameter& AIRP_RANGE;
extern ComboParameter& AIRP_HEIGHT;
extern EditParameter& MAX_FIT;
extern EditParameter& parking_percentage;
extern EditParameter& TIME_SHIFT_DAYS;
extern EditParameter& TIME_SHIFT_HOURS;
extern EditParameter& TIME_SHIFT_MINS;
extern FloatEditParameter& MAX_FIT_FL;

// Plain integers.
extern IntParameter& MAIN_WINDOW_X;
extern IntParameter& MAIN_WINDOW_Y;
extern IntParameter& MAX_LIVE;
extern IntParameter& CUSTOM_MAX_PARK;
extern IntParameter& CUSTOM_PARKING_PERCENTAGE;
extern IntParameter& LATERAL_RANGE;
extern IntParameter& AIRPORT_RANGE;
extern IntParameter& AUTO_RANGE_ABOVE_HEIGHT;
extern IntParameter& AIRPORT_HEIGHT;
extern IntParameter& HOLDING_THRESHOLD_METERS;
extern IntParameter& MAX_HOLDING_MINUTES;
extern IntParameter& LAST_EPOCH_TIME;  // key "LAST_EPOCH_TIME:" (the colon is part of it)
extern IntParameter& P3D_VERSION;

// Check boxes.
extern CheckboxParameter& ALWAYS_ON_TOP;
extern CheckboxParameter& LOG;
extern CheckboxParameter& SCAN_LIVERIES;
extern CheckboxParameter& LIG_AUTOMATIC;
extern CheckboxParameter& LIG_PRIORITIZE;
extern CheckboxParameter& SUPPRESS_STUB;
extern CheckboxParameter& LEARN_SOFT;
extern CheckboxParameter& NAV_LIGHTS_WHILE_PARKED;
extern CheckboxParameter& SCAN_AIRPORTS;
extern CheckboxParameter& AFG_AUTOMATIC;
extern CheckboxParameter& GUID_CHANGES;
extern CheckboxParameter& LIGHT_AIRCRAFT;
extern CheckboxParameter& HELICOPTERS;
extern CheckboxParameter& HIGH_PERF_AIRCRAFT;
extern CheckboxParameter& AUTO_RANGE;
extern CheckboxParameter& SIM_TIME;
extern CheckboxParameter& COLLISION_USER_AIR;
extern CheckboxParameter& COLLISION_USER_GND;
extern CheckboxParameter& COLLISION_LIVE_PARKED_GND;
extern CheckboxParameter& KEEP_SIM_TIME_PAR;
extern CheckboxParameter& STRAIGHT_PBS_ONLY;
extern CheckboxParameter& INITIAL_LOAD_ONLY;
extern CheckboxParameter& PARK_SOFT;
extern CheckboxParameter& PARK_FAKE;
extern CheckboxParameter& WEEK;
extern CheckboxParameter& RT_PARKTRAFFIC_ONLY;

// Texts.
extern EditStringParameter& BLOCK_CALLSIGN;
extern EditStringParameter& DESTINATION;
extern EditStringParameter& ALL_INSTALL_PATH;
extern StringParameter& PROGRAM_VERSION;
extern StringParameter& PROGRAM_INSTALL_PATH;
extern StringParameter& SIM_INSTALL_PATH;
extern StringParameter& AIG_VERSION;
extern StringParameter& DBASE_VERSION;
// The user's key of the live-traffic service (hidden: only in parameters.xml).
extern StringParameter& RT_LICENSE;
// The user's extra livery folders (lfolder0..9) and add-on airport folders (afolder0..9).
extern const std::array<StringParameter*, 10>& lfolder;
extern const std::array<StringParameter*, 10>& afolder;

// Meta records: the keys "author", "date", "version", "P3D" and "MSFS" of the
// header of generated XML files; readMetaInfo fills their current texts.
extern StringParameter& metaAuthor;
extern StringParameter& metaDate;
extern StringParameter& metaVersion;
extern StringParameter& metaP3D;
extern StringParameter& metaMSFS;

// Push buttons.
extern ButtonParameter& FLUSH_STATIC;  // "Flush static"
extern ButtonParameter& UNBLOCK;       // "Unblock"
extern ButtonParameter& RE_READ;       // "Re-read"

// ---------------------------------------------------------------------------
// The stored-option lists, in the order in which parameters.xml is built.
struct ParameterLists {
    std::vector<BoolParameter*> plainBools;  // on/off records without a check box: none
    std::vector<CheckboxParameter*> checkboxes;
    std::vector<IntParameter*> ints;
    std::vector<IntParameter*> controlInts;
    std::vector<StringParameter*> strings;
    std::vector<StringParameter*> controlStrings;
};
const ParameterLists& storedParameterLists();

// Every record, in the order of definition.
const std::vector<Parameter*>& allOptionRecords();
// The record with that name, nullptr when there is none.
Parameter* findOptionRecord(std::string_view name);
// Every record back to its default, its window and previous procedure cleared. For tests.
void resetOptionsToDefaults();
