#include "liveries/livery.h"

#include <utility>

#include <pugixml.hpp>

#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/startup_globals.h"
#include "core/xml_text.h"
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

std::string lf_liveriesScannedText(const std::list<Livery>& liveries)
{
    std::string out;
    {
        pugi::xml_document head;
        generatedFileSimulator.set("P3D");
        writeMetaInfo(head);
        gf_appendXmlDocument(out, head);
    }
    if (liveries.empty()) {
        out += "<liveries />\n";
        return out;
    }
    out.reserve(out.size() + liveries.size() * 112);
    out += "<liveries>\n";
    for (const Livery& livery : liveries) {
        out += "\t<liv";
        gf_appendXmlAttribute(out, "airl", livery.airline);
        gf_appendXmlAttribute(out, "type", livery.model);
        if (livery.cargo) gf_appendXmlAttribute(out, "cargo", "true");
        gf_appendXmlAttribute(out, "title", livery.title);
        if (!livery.atcId.empty()) gf_appendXmlAttribute(out, "atcid", livery.atcId);
        out += " />\n";
    }
    out += "</liveries>\n";
    return out;
}

void lf_writeLiveriesScanned()
{
    if (ScannedLiveries.empty()) return;
    // Some 50,000 liveries: written as text, not built as a document first.
    const bool saved = gf_writeTextAtomically(lf_liveriesScannedText(ScannedLiveries), liveriesScannedPath);
    const std::string path = platform::pathText(liveriesScannedPath);
    logLine(saved ? vr::format("'{}' saved", path) : vr::format("could not save to '{}'", path));
    logLine(vr::format("{} liveries in {}", ScannedLiveries.size(), path));
}
