#include "liveries/livery.h"

#include <utility>

#include <pugixml.hpp>

#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/startup_globals.h"
#include "platform/fs_path.h"

std::list<Livery> ScannedLiveries;
ScannedTitleSet ScannedTitles;

Livery::Livery(Livery&& other) noexcept
    : airline(std::exchange(other.airline, {})), model(std::exchange(other.model, {})),
      title(std::exchange(other.title, {})), atcId(std::exchange(other.atcId, {})),
      folderNumber(std::exchange(other.folderNumber, 0)), cargo(std::exchange(other.cargo, false))
{
}

Livery& Livery::operator=(Livery&& other) noexcept
{
    if (this != &other) {
        airline = std::exchange(other.airline, {});
        model = std::exchange(other.model, {});
        title = std::exchange(other.title, {});
        atcId = std::exchange(other.atcId, {});
        folderNumber = std::exchange(other.folderNumber, 0);
        cargo = std::exchange(other.cargo, false);
    }
    return *this;
}

bool ScannedTitleSet::insert(const std::string& title)
{
    const std::lock_guard lock(mutex_);
    return titles_.insert(title).second;
}

bool ScannedTitleSet::contains(const std::string& title) const
{
    const std::lock_guard lock(mutex_);
    return titles_.count(title) != 0;
}

std::size_t ScannedTitleSet::size() const
{
    const std::lock_guard lock(mutex_);
    return titles_.size();
}

void ScannedTitleSet::clear()
{
    const std::lock_guard lock(mutex_);
    titles_.clear();
}

Livery lf_makeLivery(std::uint32_t folderNumber, const std::string& airline, const std::string& model,
                     bool notCargo, const std::string& title, const std::string& atcId)
{
    if (!ScannedTitles.insert(title)) return {};
    return Livery(airline, model, title, atcId, folderNumber, !notCargo);
}

bool lf_liveryEquals(const Livery& a, const Livery& b)
{
    return a.title == b.title && a.airline == b.airline && a.model == b.model && a.atcId == b.atcId &&
           a.cargo == b.cargo;
}

void lf_writeLiveriesScanned()
{
    if (ScannedLiveries.empty()) return;
    generatedFileSimulator.set("P3D");
    pugi::xml_document doc;
    writeMetaInfo(doc);
    auto liveries = doc.append_child("liveries");
    for (const auto& livery : ScannedLiveries) {
        auto liv = liveries.append_child("liv");
        liv.append_attribute("airl").set_value(livery.airline.c_str());
        liv.append_attribute("type").set_value(livery.model.c_str());
        if (livery.cargo) liv.append_attribute("cargo").set_value("true");
        liv.append_attribute("title").set_value(livery.title.c_str());
        if (!livery.atcId.empty()) liv.append_attribute("atcid").set_value(livery.atcId.c_str());
    }
    gf_saveXml(doc, liveriesScannedPath);
    logLine(vr::format("{} liveries in {}", ScannedLiveries.size(), platform::pathText(liveriesScannedPath)));
}
