#pragma once
// A scratch program folder as the working folder (airports/, its learned and
// add-on folders, input/), a log there, the shell, liveries and option view
// stand-ins, a virtual clock (Tuesday 2023-11-14 22:13:20 UTC: weekday 2,
// half hour 44), a seeded random engine and a park airport EHAM. Everything the
// airports code touches goes back to its start state afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/app_services_fake.h"
#include "core/fmt.h"
#include "core/livery_services_fake.h"
#include "core/options.h"
#include "engine/stand.h"
#include "platform/clock.h"

// Records what the code does to the controls.
class RecordingOptionView : public OptionView {
public:
    bool isLive(ControlHandle) const override { return true; }
    void setCheck(const ParameterControl& c, bool on) override { calls.add(vr::format("check {} {}", c.controlId(), on)); }
    void setComboItems(const ParameterControl&, const std::vector<std::string>&, int) override {}
    void selectComboItem(const ParameterControl& c, int index) override
    {
        calls.add(vr::format("select {} {}", c.controlId(), index));
    }
    void setText(const ParameterControl& c, const std::string& text) override
    {
        calls.add(vr::format("text {} {}", c.controlId(), text));
    }
    void enable(const ParameterControl& c, bool on) override { calls.add(vr::format("enable {} {}", c.controlId(), on)); }
    RecordedCalls calls;
};

class AirportFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& root() const { return root_; }
    // Writes a file below the program folder (folders made as needed).
    void write(const std::filesystem::path& relative, const std::string& text) const;
    std::string read(const std::filesystem::path& relative) const;
    bool exists(const std::filesystem::path& relative) const;
    // The number of plain files directly in the program folder.
    std::size_t topLevelFileCount() const;
    // The log lines written since SetUp (banner left out).
    std::vector<std::string> logLines() const;
    // The log lines that contain the text.
    std::vector<std::string> logLinesWith(const std::string& text) const;

    AppServicesFake app;
    LiveryServicesFake liveries;
    RecordingOptionView view;

private:
    std::filesystem::path previousDir_;
    std::filesystem::path root_;
    std::unique_ptr<platform::ScopedClock> clock_;
};

// Texts of stand files, pugixml-style: meta, parameters, parkpositions.
std::string metaBlock(bool author = true, bool date = true, bool version = true);
// <parameters> with name/value pairs in order.
std::string parametersBlock(const std::vector<std::pair<std::string, std::string>>& entries);
// A whole stand file from its parameters and the <parkpos> lines.
std::string standFileText(const std::vector<std::pair<std::string, std::string>>& parameters,
                          const std::vector<std::string>& parkpos, bool withMeta = true);
// "<parkpos id=... latitude=... .../>" with the extra attributes / children given.
std::string parkposText(const std::string& id, double lat, double lon, double radiusMetres,
                        const std::string& extra = "", const std::string& children = "");
