#include "motion_judge.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/fmt.h"

namespace motionjudge {
namespace {

constexpr double lf_pi = 3.14159265358979323846;
constexpr double lf_rad = lf_pi / 180.0;
constexpr double lf_earthNm = 6371008.8 / 1852.0;  // mean radius
constexpr double lf_kmPerNm = 1.852;

double lf_wrap180(double d)
{
    d = std::fmod(d, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d <= -180.0) d += 360.0;
    return d;
}

// The windows of a stream: for every update the first later one at least a
// window away, with prefix sums for the means and the on-ground counts.
struct Windows {
    const Stream& s;
    const Bounds& b;
    std::vector<std::size_t> end;  // end[i]: the window's last index, or npos
    std::vector<double> speedSum, vsSum;
    std::vector<std::size_t> groundCount;

    Windows(const Stream& stream, const Bounds& bounds) : s(stream), b(bounds)
    {
        const std::size_t n = s.seen.size();
        end.assign(n, npos);
        speedSum.assign(n + 1, 0.0);
        vsSum.assign(n + 1, 0.0);
        groundCount.assign(n + 1, 0);
        for (std::size_t i = 0; i < n; ++i) {
            speedSum[i + 1] = speedSum[i] + s.seen[i].speedKt;
            vsSum[i + 1] = vsSum[i] + s.seen[i].verticalSpeedFtps;
            groundCount[i + 1] = groundCount[i] + (onGround(i) ? 1 : 0);
        }
        std::size_t j = 0;
        for (std::size_t i = 0; i < n; ++i) {
            j = std::max(j, i + 1);
            while (j < n && s.seen[j].t < s.seen[i].t + b.windowS) ++j;
            // A gap in the updates (twice the window or more) is no window.
            if (j < n && s.seen[j].t - s.seen[i].t <= 2.0 * b.windowS) end[i] = j;
        }
    }
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    bool onGround(std::size_t i) const { return s.seen[i].altitudeFt - s.groundFt <= s.onGroundBelowFt; }
    std::size_t grounded(std::size_t i, std::size_t j) const { return groundCount[j + 1] - groundCount[i]; }
    bool allGround(std::size_t i, std::size_t j) const { return grounded(i, j) == j - i + 1; }
    bool allAir(std::size_t i, std::size_t j) const { return grounded(i, j) == 0; }
    double duration(std::size_t i, std::size_t j) const { return s.seen[j].t - s.seen[i].t; }
    double trueKt(std::size_t i, std::size_t j) const
    {
        const Seen &a = s.seen[i], &c = s.seen[j];
        return distanceNm(a.latitude, a.longitude, c.latitude, c.longitude) / duration(i, j) * 3600.0;
    }
    double shownKt(std::size_t i, std::size_t j) const
    {
        return (speedSum[j + 1] - speedSum[i]) / static_cast<double>(j - i + 1);
    }
    double toldFpm(std::size_t i, std::size_t j) const
    {
        return (vsSum[j + 1] - vsSum[i]) / static_cast<double>(j - i + 1) * 60.0;
    }
    // The update nearest the middle of the window.
    std::size_t middle(std::size_t i, std::size_t j) const
    {
        const double mid = s.seen[i].t + duration(i, j) / 2.0;
        std::size_t m = i;
        while (m < j && s.seen[m + 1].t <= mid) ++m;
        return m;
    }
};

void lf_judgeWindows(const Windows& w, const Stream& s, const Bounds& b, Verdict& v)
{
    double top = s.servedTopKt;
    if (top <= 0.0)
        for (const Served& x : s.served) top = std::max(top, x.groundSpeedKt);
    const double raceLimit = b.raceShare * top + b.racePlusKt;
    for (std::size_t i = 0; i < s.seen.size(); ++i) {
        const std::size_t j = w.end[i];
        if (j == Windows::npos) continue;
        const double t = s.seen[i].t;
        const double speed = w.trueKt(i, j);
        const double shown = w.shownKt(i, j);
        if (top > 0.0)
            v.race.take(speed - raceLimit, 0.0, t, s.name,
                        vr::format("{:.1f} kt over {:.1f} s, served top {:.1f} kt", speed, w.duration(i, j), top));
        if (w.allGround(i, j)) {
            // The speed told is negative while the tail leads (a push-back): the true
            // speed takes the sign of the travel against the heading seen.
            double off = 0.0;
            double track = 0.0;
            const double heading = s.seen[w.middle(i, j)].headingDeg;
            if (speed > b.crabAboveKt) {
                const Seen &a = s.seen[i], &c = s.seen[j];
                track = bearingDeg(a.latitude, a.longitude, c.latitude, c.longitude);
                off = std::abs(lf_wrap180(heading - track));
            }
            const double signedSpeed = speed > b.crabAboveKt ? (off > 90.0 ? -speed : speed) : speed;
            const double shownBy = speed > b.crabAboveKt ? shown : std::abs(shown);
            const double allowed = b.groundSpeedShare * std::abs(shown) + b.groundSpeedPlusKt;
            v.gndSpeed.take(std::abs(signedSpeed - shownBy) - allowed, 0.0, t, s.name,
                            vr::format("true {:.1f} kt, shown {:.1f} kt", signedSpeed, shown));
            if (speed > b.crabAboveKt) {
                const double crab = std::min(off, 180.0 - off);  // tail first: a push-back
                v.crab.take(crab, b.crabDeg, t, s.name,
                            vr::format("heading {:.1f}, travel {:.1f} at {:.1f} kt{}", heading, track, speed,
                                       off > 90.0 ? " (tail first)" : ""));
            }
            const std::size_t k = w.end[j];
            if (k != Windows::npos && w.allGround(j, k)) {
                const double next = w.trueKt(j, k);
                const double gap = (w.duration(j, k) + w.duration(i, j)) / 2.0;
                v.accel.take(std::abs(next - speed) / gap, b.groundAccelKtps, t, s.name,
                             vr::format("{:.1f} -> {:.1f} kt in {:.2f} s", speed, next, gap));
            }
        } else if (w.allAir(i, j)) {
            const double allowed = b.airSpeedShare * shown + b.airSpeedPlusKt;
            v.airSpeed.take(std::abs(speed - shown) - allowed, 0.0, t, s.name,
                            vr::format("true {:.1f} kt, shown {:.1f} kt", speed, shown));
            const double seenFpm = (s.seen[j].altitudeFt - s.seen[i].altitudeFt) / w.duration(i, j) * 60.0;
            const double told = w.toldFpm(i, j);
            v.vs.take(std::abs(told - seenFpm) - (b.verticalShare * std::abs(seenFpm) + b.verticalPlusFpm), 0.0, t,
                      s.name, vr::format("told {:.0f} fpm, seen {:.0f} fpm", told, seenFpm));
        }
    }
}

void lf_judgeLevel(const Windows& w, const Stream& s, const Bounds& b, Verdict& v)
{
    const auto& sv = s.served;
    for (std::size_t a = 0; a < sv.size();) {
        std::size_t e = a;
        while (e + 1 < sv.size() && sv[a].airborne && sv[e + 1].airborne &&
               std::abs(sv[e + 1].altitudeFt - sv[a].altitudeFt) <= 1.0)
            ++e;
        if (e > a) {
            for (std::size_t i = 0; i < s.seen.size(); ++i) {
                const Seen& x = s.seen[i];
                if (x.t < sv[a].t || x.t > sv[e].t || w.onGround(i)) continue;
                v.level.take(std::abs(x.altitudeFt - sv[a].altitudeFt), b.levelFt, x.t, s.name,
                             vr::format("{:.0f} ft, served level at {:.0f} ft", x.altitudeFt, sv[a].altitudeFt));
            }
        }
        a = e + 1;
    }
}

}  // namespace

void Figure::take(double value, double limit, double t, const std::string& stream, const std::string& detail)
{
    bound = limit;
    if (measured && value <= worst) return;
    measured = true;
    worst = value;
    at = t;
    pass = value <= limit;
    where = stream + ": " + detail;
}

namespace {
constexpr Figure Verdict::*lf_figures[] = {&Verdict::crab,  &Verdict::accel, &Verdict::gndSpeed,
                                           &Verdict::airSpeed, &Verdict::vs,  &Verdict::level,
                                           &Verdict::jump,  &Verdict::race,  &Verdict::spacing};
}  // namespace

std::vector<const Figure*> Verdict::figures() const
{
    std::vector<const Figure*> out;
    for (const auto member : lf_figures) out.push_back(&(this->*member));
    return out;
}

bool Verdict::pass() const
{
    const auto all = figures();
    return std::all_of(all.begin(), all.end(), [](const Figure* f) { return f->pass; });
}

std::string Verdict::failures() const
{
    std::string out;
    for (const Figure* f : figures()) {
        if (f->pass) continue;
        if (!out.empty()) out += ", ";
        out += f->property;
    }
    return out;
}

void Verdict::add(const Verdict& other)
{
    for (const auto member : lf_figures) {
        Figure& m = this->*member;
        const Figure& o = other.*member;
        if (!o.measured) continue;
        const bool smallerIsWorse = member == &Verdict::spacing;
        if (!m.measured || (smallerIsWorse ? o.worst < m.worst : o.worst > m.worst)) m = o;
    }
}

std::string Verdict::table(const std::string& title) const
{
    std::string out = vr::format("{}: {}\n", title, pass() ? "pass" : "FAIL (" + failures() + ")");
    for (const Figure* f : figures()) {
        if (!f->measured) {
            out += vr::format("  {:<9} -\n", f->property);
            continue;
        }
        out += vr::format("  {:<9} {:>8.2f} {:<8} bound {:>6.2f}  {:<4}  at {:.2f} s  {}\n", f->property, f->worst,
                          f->unit, f->bound, f->pass ? "ok" : "FAIL", f->at, f->where);
    }
    return out;
}

Verdict judgeStream(const Stream& s, const Bounds& b)
{
    Verdict v;
    const Windows w(s, b);
    lf_judgeWindows(w, s, b, v);
    lf_judgeLevel(w, s, b, v);
    for (std::size_t i = 1; i < s.seen.size(); ++i) {
        const Seen &a = s.seen[i - 1], &c = s.seen[i];
        const double km = distanceNm(a.latitude, a.longitude, c.latitude, c.longitude) * lf_kmPerNm;
        v.jump.take(km, b.jumpKm, c.t, s.name, vr::format("{:.3f} km in {:.2f} s", km, c.t - a.t));
    }
    return v;
}

Verdict judgeAll(const std::vector<Stream>& streams, const std::vector<double>& creationTimes, const Bounds& b)
{
    Verdict all;
    for (const Stream& s : streams) all.add(judgeStream(s, b));
    std::vector<double> t = creationTimes;
    std::sort(t.begin(), t.end());
    for (std::size_t i = 1; i < t.size(); ++i) {
        const double gap = t[i] - t[i - 1];
        Figure& f = all.spacing;
        f.bound = b.spacingS;
        if (f.measured && gap >= f.worst) continue;
        f.measured = true;
        f.worst = gap;
        f.at = t[i];
        // Time stamps are sums of clock steps: a microsecond of rounding is no shorter gap.
        f.pass = gap >= b.spacingS - 1e-6;
        f.where = vr::format("creations {} and {} of {}", i, i + 1, t.size());
    }
    return all;
}

double distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * lf_rad, p2 = lat2 * lf_rad;
    const double dp = p2 - p1, dl = lf_wrap180(lon2 - lon1) * lf_rad;
    const double h = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * lf_earthNm * std::asin(std::min(1.0, std::sqrt(h)));
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * lf_rad, p2 = lat2 * lf_rad, dl = lf_wrap180(lon2 - lon1) * lf_rad;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    const double d = std::atan2(y, x) / lf_rad;
    return d < 0.0 ? d + 360.0 : d;
}

std::string streamsCsv(const std::vector<Stream>& streams, const std::vector<double>& creationTimes)
{
    std::string out = "object,t,lat,lon,alt_ft,heading_deg,speed_kt,vs_ftps\n";
    for (double t : creationTimes) out += vr::format("#created,{:.4f}\n", t);
    for (const Stream& s : streams) {
        out += vr::format("#ground,{},{:.2f},{:.2f},{:.2f}\n", s.name, s.groundFt, s.onGroundBelowFt, s.servedTopKt);
        for (const Served& x : s.served)
            out += vr::format("#served,{},{:.4f},{:.2f},{:.2f},{}\n", s.name, x.t, x.altitudeFt, x.groundSpeedKt,
                              x.airborne ? 1 : 0);
        for (const Seen& x : s.seen)
            out += vr::format("{},{:.4f},{:.8f},{:.8f},{:.3f},{:.3f},{:.3f},{:.4f}\n", s.name, x.t, x.latitude,
                              x.longitude, x.altitudeFt, x.headingDeg, x.speedKt, x.verticalSpeedFtps);
    }
    return out;
}

bool parseStreamsCsv(const std::string& text, std::vector<Stream>& streams, std::vector<double>& creationTimes,
                     std::string* error)
{
    std::map<std::string, std::size_t> byName;
    const auto streamOf = [&](const std::string& name) -> Stream& {
        const auto it = byName.find(name);
        if (it != byName.end()) return streams[it->second];
        byName[name] = streams.size();
        Stream s;
        s.name = name;
        streams.push_back(std::move(s));
        return streams.back();
    };
    std::istringstream in(text);
    std::string line;
    std::size_t number = 0;
    const auto fail = [&](const char* what) {
        if (error) *error = vr::format("line {}: {}", number, what);
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.rfind("object,", 0) == 0) continue;
        std::vector<std::string> f;
        std::stringstream cells(line);
        for (std::string c; std::getline(cells, c, ',');) f.push_back(c);
        std::vector<double> num;
        for (std::size_t k = 0; k < f.size(); ++k) {
            char* endp = nullptr;
            const double d = std::strtod(f[k].c_str(), &endp);
            num.push_back(endp != f[k].c_str() && *endp == '\0' ? d : std::nan(""));
        }
        const auto numbers = [&](std::size_t from) {
            for (std::size_t k = from; k < num.size(); ++k)
                if (std::isnan(num[k])) return false;
            return true;
        };
        if (f[0] == "#created") {
            if (f.size() != 2 || !numbers(1)) return fail("a #created row is #created,t");
            creationTimes.push_back(num[1]);
        } else if (f[0] == "#ground") {
            if (f.size() != 5 || !numbers(2)) return fail("a #ground row is #ground,object,ft,below_ft,top_kt");
            Stream& s = streamOf(f[1]);
            s.groundFt = num[2];
            s.onGroundBelowFt = num[3];
            s.servedTopKt = num[4];
        } else if (f[0] == "#served") {
            if (f.size() != 6 || !numbers(2)) return fail("a #served row is #served,object,t,alt_ft,gs_kt,airborne");
            streamOf(f[1]).served.push_back({num[2], num[3], num[4], num[5] != 0.0});
        } else if (!f[0].empty() && f[0][0] == '#') {
            continue;  // a comment
        } else {
            if (f.size() != 8 || !numbers(1)) return fail("a position row has 8 fields");
            streamOf(f[0]).seen.push_back({num[1], num[2], num[3], num[4], num[5], num[6], num[7]});
        }
    }
    return true;
}

}  // namespace motionjudge
