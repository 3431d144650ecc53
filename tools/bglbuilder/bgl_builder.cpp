#include "bglbuilder/bgl_builder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace bglb {

namespace {

// Bytes with the fields noted at their offsets from the start of the buffer.
struct Buffer {
    std::vector<std::uint8_t> bytes;
    std::vector<Field> sizes, counts, offsets;

    std::uint64_t pos() const { return bytes.size(); }
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v)
    {
        std::uint32_t w;
        std::memcpy(&w, &v, 4);
        u32(w);
    }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void set32(std::uint64_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    // Starts a record head; returns where its size goes.
    std::uint64_t head(std::uint16_t id, const char* what)
    {
        u16(id);
        const std::uint64_t at = pos();
        sizes.push_back({at, 4, what});
        u32(0);
        return at;
    }
    // Closes a record begun at `start` whose size field is at `sizeAt`.
    void close(std::uint64_t start, std::uint64_t sizeAt)
    {
        set32(sizeAt, static_cast<std::uint32_t>(pos() - start));
    }
    void append(const Buffer& b)
    {
        const std::uint64_t base = pos();
        bytes.insert(bytes.end(), b.bytes.begin(), b.bytes.end());
        for (auto f : b.sizes) sizes.push_back({f.offset + base, f.width, f.what});
        for (auto f : b.counts) counts.push_back({f.offset + base, f.width, f.what});
        for (auto f : b.offsets) offsets.push_back({f.offset + base, f.width, f.what});
    }
};

void lf_parking(Buffer& b, const Parking& p, bool wide)
{
    const std::uint32_t word = (static_cast<std::uint32_t>(p.nameIndex) & 0x3F) |
                               ((static_cast<std::uint32_t>(p.type) & 0xF) << 8) |
                               ((static_cast<std::uint32_t>(p.number) & 0xFFF) << 12) |
                               (static_cast<std::uint32_t>(p.airlineCodes.size() & 0xFF) << 24);
    b.u32(word);
    b.f32(p.radius);
    b.f32(p.heading);
    b.zeros(16);  // tee offsets 1..4
    b.u32(encodeLon(p.lon));
    b.u32(encodeLat(p.lat));
    if (wide) b.zeros(4);
    for (const auto& code : p.airlineCodes) {
        char c[4] = {0, 0, 0, 0};
        std::memcpy(c, code.data(), std::min<std::size_t>(4, code.size()));
        for (char ch : c) b.u8(static_cast<std::uint8_t>(ch));
    }
}

void lf_sub(Buffer& b, const SubRecord& sub, bool extended)
{
    const std::uint64_t start = b.pos();
    if (const auto* n = std::get_if<NameRec>(&sub)) {
        const std::uint64_t sizeAt = b.head(0x19, "name size");
        for (char c : n->text) b.u8(static_cast<std::uint8_t>(c));
        while ((b.pos() - start) % 4 != 0) b.u8(0);
        b.close(start, sizeAt);
        if (n->sizeOverride >= 0) b.set32(sizeAt, static_cast<std::uint32_t>(n->sizeOverride));
    } else if (const auto* h = std::get_if<HelipadRec>(&sub)) {
        const std::uint64_t sizeAt = b.head(0x26, "helipad size");
        b.u8(0);      // surface
        b.u8(0);      // type and flags
        b.u32(0);     // colour
        b.u32(encodeLon(h->lon));
        b.u32(encodeLat(h->lat));
        b.u32(0);     // altitude
        b.f32(h->length);
        b.f32(h->width);
        b.f32(h->heading);
        b.close(start, sizeAt);
    } else if (const auto* l = std::get_if<ParkingListRec>(&sub)) {
        const auto id = static_cast<std::uint16_t>(l->id >= 0 ? l->id : (extended ? 0xAD : 0x3D));
        const bool wide = id == 0xAD;
        const std::uint64_t sizeAt = b.head(id, "parking list size");
        b.counts.push_back({b.pos(), 2, "parking count"});
        b.u16(static_cast<std::uint16_t>(l->countOverride >= 0 ? l->countOverride : static_cast<int>(l->entries.size())));
        for (const auto& p : l->entries) lf_parking(b, p, wide);
        b.close(start, sizeAt);
    } else if (const auto* o = std::get_if<OtherRec>(&sub)) {
        const std::uint64_t sizeAt = b.head(o->id, "subrecord size");
        b.zeros(o->payloadBytes);
        b.close(start, sizeAt);
    }
}

void lf_airport(Buffer& b, const Airport& a)
{
    const std::uint64_t start = b.pos();
    const std::uint64_t sizeAt = b.head(a.extended ? 0xAB : 0x3C, "airport size");
    std::uint8_t helipads = 0;
    for (const auto& s : a.subs) helipads += std::holds_alternative<HelipadRec>(s);
    b.u8(0);  // runways
    b.u8(0);  // COMs
    b.u8(0);  // starts
    b.u8(0);  // approaches
    b.u8(0);  // aprons
    b.u8(helipads);
    b.u32(encodeLon(a.lon));
    b.u32(encodeLat(a.lat));
    b.i32(a.elevationMm);
    b.u32(encodeLon(a.lon));  // tower
    b.u32(encodeLat(a.lat));
    b.i32(a.elevationMm);
    b.f32(0.0f);  // magnetic variation
    b.u32(a.identWord ? *a.identWord : encodeIdent(a.ident));
    b.u32(encodeIdent("EH") | 0x1);  // region
    b.u32(0);                        // fuel
    b.u32(0);                        // traffic scalar and others
    if (a.extended) b.u32(0);        // the extended form's extra word
    for (const auto& s : a.subs) lf_sub(b, s, a.extended);
    b.close(start, sizeAt);
}

void lf_other(Buffer& b, const OtherRecord& o)
{
    const std::uint64_t start = b.pos();
    const std::uint64_t sizeAt = b.head(o.id, "record size");
    b.zeros(o.payloadBytes);
    b.close(start, sizeAt);
}

}  // namespace

std::uint32_t encodeLat(double lat)
{
    return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-7));
}

std::uint32_t encodeLon(double lon)
{
    return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-7));
}

std::uint32_t encodeIdent(std::string_view ident)
{
    std::uint32_t v = 0;
    for (char c : ident) {
        std::uint32_t d = 0;
        if (c >= '0' && c <= '9') d = static_cast<std::uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z') d = static_cast<std::uint32_t>(c - 'A') + 12;
        v = v * 38 + d;
    }
    return v << 5;
}

void BglImage::patch(const Field& field, std::uint32_t value)
{
    for (int i = 0; i < field.width && field.offset + i < bytes.size(); ++i)
        bytes[field.offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void BglImage::cut(std::size_t n)
{
    if (n < bytes.size()) bytes.resize(n);
}

bool BglImage::write(const std::filesystem::path& path) const
{
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

BglBuilder& BglBuilder::section(Section s)
{
    sections_.push_back(std::move(s));
    return *this;
}

BglBuilder& BglBuilder::airports(std::vector<Airport> list)
{
    Subsection sub;
    for (auto& a : list) sub.records.emplace_back(std::move(a));
    Section s;
    s.subsections.push_back(std::move(sub));
    return section(std::move(s));
}

BglBuilder& BglBuilder::otherSection(std::uint32_t type, std::uint32_t bytes)
{
    Section s;
    s.type = type;
    s.subsections.emplace_back();
    others_.emplace_back(static_cast<std::uint32_t>(sections_.size()), bytes);
    return section(std::move(s));
}

BglImage BglBuilder::build() const
{
    // Each subsection's data on its own, then the file: header, section table,
    // then per section its subsection table and its subsections' data.
    std::vector<std::vector<Buffer>> data(sections_.size());
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        for (const auto& sub : sections_[i].subsections) {
            Buffer b;
            for (const auto& r : sub.records) {
                if (const auto* a = std::get_if<Airport>(&r)) lf_airport(b, *a);
                else lf_other(b, std::get<OtherRecord>(r));
            }
            data[i].push_back(std::move(b));
        }
        for (const auto& [index, payload] : others_)
            if (index == i) data[i][0].zeros(payload);
    }

    Buffer f;
    f.u32(kMagic);
    f.sizes.push_back({f.pos(), 4, "header size"});
    f.u32(kHeaderSize);
    f.u32(0x1C5B6A40);  // file time
    f.u32(0x01D6C3E2);
    f.u32(kMagic2);
    f.counts.push_back({f.pos(), 4, "section count"});
    f.u32(static_cast<std::uint32_t>(sections_.size()));
    f.zeros(32);  // QMIDs

    std::uint64_t at = kHeaderSize + 20ull * sections_.size();
    std::vector<std::uint64_t> tableAt(sections_.size());
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        tableAt[i] = at;
        at += 16ull * sections_[i].subsections.size();
        for (const auto& b : data[i]) at += b.bytes.size();
    }
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const auto& s = sections_[i];
        f.u32(s.type);
        f.u32(s.flags);
        f.counts.push_back({f.pos(), 4, "subsection count"});
        f.u32(static_cast<std::uint32_t>(s.subsections.size()));
        f.offsets.push_back({f.pos(), 4, "subsection table offset"});
        f.u32(static_cast<std::uint32_t>(tableAt[i]));
        f.sizes.push_back({f.pos(), 4, "subsection table size"});
        f.u32(static_cast<std::uint32_t>(16 * s.subsections.size()));
    }
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        std::uint64_t dataAt = tableAt[i] + 16ull * sections_[i].subsections.size();
        for (std::size_t j = 0; j < data[i].size(); ++j) {
            const auto& sub = sections_[i].subsections[j];
            f.u32(0x00100000u + static_cast<std::uint32_t>(j));  // QMID
            f.counts.push_back({f.pos(), 4, "record count"});
            f.u32(static_cast<std::uint32_t>(sub.records.size()));
            f.offsets.push_back({f.pos(), 4, "subsection data offset"});
            f.u32(static_cast<std::uint32_t>(dataAt));
            f.sizes.push_back({f.pos(), 4, "subsection data size"});
            f.u32(static_cast<std::uint32_t>(data[i][j].bytes.size()));
            dataAt += data[i][j].bytes.size();
        }
        for (const auto& b : data[i]) f.append(b);
    }
    return {std::move(f.bytes), std::move(f.sizes), std::move(f.counts), std::move(f.offsets)};
}

Airport sampleAirport(std::string ident, int stands, bool extended, double lat, double lon)
{
    Airport a;
    a.ident = std::move(ident);
    a.extended = extended;
    a.lat = lat;
    a.lon = lon;
    a.elevationMm = 1000;
    a.subs.reserve(4);
    a.subs.emplace_back(std::in_place_type<OtherRec>, OtherRec{0x12, 10});
    a.subs.emplace_back(std::in_place_type<NameRec>, NameRec{a.ident + " Sample Field"});
    a.subs.emplace_back(std::in_place_type<HelipadRec>, HelipadRec{lat + 0.002, lon + 0.002, 20.0f, 20.0f, 45.0f});
    ParkingListRec list;
    for (int i = 1; i <= stands; ++i) {
        Parking p;
        p.number = i;
        p.nameIndex = (i % 3 == 0) ? 10 : 2;  // gates g and parkings p
        p.type = (i % 5 == 0) ? 5 : 8 + i % 3;
        p.radius = 15.0f + static_cast<float>(i % 30);
        p.heading = static_cast<float>((i * 37) % 360);
        p.lat = lat + 0.0001 * i;
        p.lon = lon - 0.0001 * (i % 17);
        if (i % 3 == 1) p.airlineCodes = {"KLM", "DAL"};
        list.entries.push_back(p);
    }
    a.subs.emplace_back(std::in_place_type<ParkingListRec>, std::move(list));
    return a;
}

BglImage sampleFile(const std::vector<Airport>& airports)
{
    return BglBuilder().airports(airports).build();
}

BglImage sceneryWithoutAirport(std::uint32_t bytes)
{
    return BglBuilder().otherSection(0x65, bytes).otherSection(0x2C, 32).build();
}

LibraryStats writeSceneryLibrary(const std::filesystem::path& folder, int files, int airportEvery, int maxStands)
{
    static const char* const publishers[] = {"FlyTampa Pack", "ORBX Region", "Some Publisher Airports", "Misc"};
    LibraryStats stats;
    std::string ident = "QAAA";
    for (int i = 0; i < files; ++i) {
        const std::filesystem::path sub =
            folder / publishers[i % 4] / ("area" + std::to_string(i % 7)) / "scenery";
        char name[32];
        std::snprintf(name, sizeof name, "f%04d.bgl", i);
        BglImage image;
        if (airportEvery > 0 && i % airportEvery == 0) {
            const int n = static_cast<int>(stats.airports);
            if (n % 10 != 9) {
                ident = {'Q', static_cast<char>('A' + n / 676 % 26), static_cast<char>('A' + n / 26 % 26),
                         static_cast<char>('A' + n % 26)};
            }
            const int stands = 20 + (n * 37) % std::max(1, maxStands - 19);
            image = sampleFile({sampleAirport(ident, stands, n % 2 == 1, 40.0 + n * 0.01, -3.0 + n * 0.01)});
            ++stats.airports;
        } else {
            image = sceneryWithoutAirport(512 + 64 * static_cast<std::uint32_t>(i % 16));
        }
        image.write(sub / name);
        ++stats.files;
        stats.bytes += image.bytes.size();
    }
    return stats;
}

}  // namespace bglb
