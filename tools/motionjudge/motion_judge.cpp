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
        // The creation's place is a place, not an update: it tells no speed (the
        // creation's airspeed is always 0), so no window starts there. The gap
        // from it to the first update is the hang's.
        std::size_t j = 0;
        for (std::size_t i = 1; i < n; ++i) {
            j = std::max(j, i + 1);
            while (j < n && s.seen[j].t < s.seen[i].t + b.windowS) ++j;
            // A window over a gap in the updates is judged too: the simulator
            // showed the aircraft standing, then jumping.
            if (j < n) end[i] = j;
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
    // The speed of a least-squares line through every update of the window.
    // The engine's ticks are shorter than the simulator's frames, so a frame
    // carries three ticks of motion or four: the two ends alone swing by a tick
    // (about 1 % of the speed) from one window to the next, the fit far less.
    // A change of speed that lasts a good part of the window still shows.
    double fittedKt(std::size_t i, std::size_t j) const
    {
        const Seen& o = s.seen[i];
        const double lonScale = std::cos(o.latitude * lf_rad);
        const auto count = static_cast<double>(j - i + 1);
        double mt = 0.0, mx = 0.0, my = 0.0;
        for (std::size_t k = i; k <= j; ++k) {
            mt += s.seen[k].t - o.t;
            mx += (s.seen[k].longitude - o.longitude) * lonScale;
            my += s.seen[k].latitude - o.latitude;
        }
        mt /= count;
        mx /= count;
        my /= count;
        double tt = 0.0, tx = 0.0, ty = 0.0;
        for (std::size_t k = i; k <= j; ++k) {
            const double dt = s.seen[k].t - o.t - mt;
            tt += dt * dt;
            tx += dt * ((s.seen[k].longitude - o.longitude) * lonScale - mx);
            ty += dt * (s.seen[k].latitude - o.latitude - my);
        }
        if (tt <= 0.0) return 0.0;
        // Degrees of latitude per second, as nautical miles an hour.
        return std::hypot(tx / tt, ty / tt) * lf_rad * lf_earthNm * 3600.0;
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
                const double from = w.fittedKt(i, j);
                const double next = w.fittedKt(j, k);
                const double gap = (w.duration(j, k) + w.duration(i, j)) / 2.0;
                v.accel.take(std::abs(next - from) / gap, b.groundAccelKtps, t, s.name,
                             vr::format("{:.1f} -> {:.1f} kt in {:.2f} s", from, next, gap));
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

double lf_horizontalM(const Seen& a, const Seen& c)
{
    return distanceNm(a.latitude, a.longitude, c.latitude, c.longitude) * lf_kmPerNm * 1000.0;
}

// Moved since the update before: a hundredth of a metre, or of a foot up or down.
bool lf_moved(const Seen& a, const Seen& c)
{
    return lf_horizontalM(a, c) > 0.01 || std::abs(c.altitudeFt - a.altitudeFt) > 0.01;
}

// Every change of more than jumpFt within a second (or from one update to the
// next, however far apart): the fastest of them.
void lf_judgeVertical(const Stream& s, const Bounds& b, Verdict& v)
{
    const auto& x = s.seen;
    if (x.size() < 2) return;
    bool any = false;
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        for (std::size_t k = i + 1; k < x.size() && (k == i + 1 || x[k].t - x[i].t <= 1.0); ++k) {
            const double change = x[k].altitudeFt - x[i].altitudeFt;
            if (std::abs(change) <= b.jumpFt) continue;
            const double dt = std::max(x[k].t - x[i].t, 1e-3);  // updates of one instant: a millisecond
            any = true;
            v.vjump.take(std::abs(change) / dt * 60.0, b.jumpFpm, x[k].t, s.name,
                         vr::format("{:+.0f} ft in {:.3f} s ({:.0f} -> {:.0f} ft)", change, x[k].t - x[i].t,
                                    x[i].altitudeFt, x[k].altitudeFt));
        }
    }
    if (!any) v.vjump.take(0.0, b.jumpFpm, x.front().t, s.name, vr::format("no change over {:.0f} ft", b.jumpFt));
}

void lf_judgeBelow(const Stream& s, const Bounds& b, Verdict& v)
{
    for (const Seen& x : s.seen)
        v.below.take(s.groundFt - x.altitudeFt, b.belowFt, x.t, s.name,
                     vr::format("{:.1f} ft with the ground at {:.1f} ft", x.altitudeFt, s.groundFt));
}

// From the creation to the first update that left the creation's place, for an
// aircraft that went on from there faster (over a second) than a start from rest.
void lf_judgeHang(const Stream& s, const Bounds& b, Verdict& v)
{
    const auto& x = s.seen;
    std::size_t k = 1;
    while (k < x.size() && lf_horizontalM(x.front(), x[k]) <= 0.05) ++k;
    if (k >= x.size()) return;  // it never moved
    std::size_t e = k;
    while (e + 1 < x.size() && x[e].t < x[k].t + b.windowS) ++e;
    const double dt = x[e].t - x[k].t;
    if (dt <= 0.0) return;
    const double kt = distanceNm(x[k].latitude, x[k].longitude, x[e].latitude, x[e].longitude) / dt * 3600.0;
    if (kt <= b.hangMovingKt) return;  // a start from rest: it stood where it was made
    const double hang = x[k].t - x.front().t;
    v.hang.take(hang, b.hangS, x.front().t, s.name,
                vr::format("first moved {:.2f} s after its creation, then {:.0f} kt", hang, kt));
}

// How many frames the simulator sent after t0 up to t1; without the frames'
// times there (none known, or the record of them begins later or ends
// earlier), how many frame times the gap spans (rounded).
double lf_framesBetween(const Stream& s, const Bounds& b, double t0, double t1)
{
    if (!s.frameTimes || s.frameTimes->empty() || t0 < s.frameTimes->front() || t1 > s.frameTimes->back() + b.frameS)
        return std::floor((t1 - t0) / b.frameS + 0.5);
    const std::vector<double>& f = *s.frameTimes;
    return static_cast<double>(std::upper_bound(f.begin(), f.end(), t1) - std::upper_bound(f.begin(), f.end(), t0));
}

// Moving updates (the first after the creation's place aside) and those that
// came two frames or more after the one before. A frame the simulator itself
// sent late is not the sender's: with the frames' times known, only the frames
// it did send count.
void lf_judgeFrames(const Stream& s, const Bounds& b, Verdict& v)
{
    const auto& x = s.seen;
    std::size_t moving = 0, late = 0;
    double longest = 0.0, at = 0.0;
    for (std::size_t k = 2; k < x.size(); ++k) {
        if (!lf_moved(x[k - 1], x[k])) continue;
        ++moving;
        const double gap = x[k].t - x[k - 1].t;
        if (lf_framesBetween(s, b, x[k - 1].t, x[k].t) < 2.0) continue;
        ++late;
        if (gap > longest) {
            longest = gap;
            at = x[k].t;
        }
    }
    if (moving == 0) return;
    Verdict one;
    one.movingUpdates = moving;
    one.lateUpdates = late;
    one.longestLateS = longest;
    one.frames.measured = true;
    one.frames.bound = b.framesPercent;
    one.frames.at = at;
    one.frames.where = late > 0 ? vr::format("{}: {} of {} moving updates late, the longest {:.3f} s", s.name, late,
                                             moving, longest)
                                : vr::format("{}: none of {} moving updates late", s.name, moving);
    v.addFrames(one);
}

// Where on the feed's path (between two of its places) a position lies: the
// feed's time and altitude there, how far off the path it is (nm), and whether
// both places were in the air. Searches the feed up to `backS` before t.
struct OnFeed {
    double t = 0.0, altitudeFt = 0.0, offNm = 1e9;
    bool airborne = false;
};

OnFeed lf_onFeed(const std::vector<Fed>& fed, const Seen& x, double backS, double aheadS)
{
    OnFeed best;
    const auto from = std::lower_bound(fed.begin(), fed.end(), x.t - backS,
                                       [](const Fed& f, double t) { return f.t < t; });
    const double cosLat = std::cos(x.latitude * lf_rad);
    const auto local = [&](const Fed& f) {
        return std::pair{(f.latitude - x.latitude) * 60.0, lf_wrap180(f.longitude - x.longitude) * 60.0 * cosLat};
    };
    for (auto it = from; it != fed.end() && it->t <= x.t + aheadS; ++it) {
        const auto next = it + 1;
        const auto [ay, ax] = local(*it);
        double u = 0.0, py = ay, px = ax;
        if (next != fed.end() && next->t - it->t < 30.0) {  // a longer gap is two paths
            const auto [cy, cx] = local(*next);
            const double dy = cy - ay, dx = cx - ax, len = dy * dy + dx * dx;
            u = len > 0.0 ? std::clamp(-(ay * dy + ax * dx) / len, 0.0, 1.0) : 0.0;
            py = ay + u * dy;
            px = ax + u * dx;
        }
        const double off = std::hypot(py, px);
        if (off >= best.offNm) continue;
        const Fed& c = next != fed.end() && u > 0.0 ? *next : *it;
        best = {it->t + u * (c.t - it->t), it->altitudeFt + u * (c.altitudeFt - it->altitudeFt), off,
                it->airborne && c.airborne};
    }
    return best;
}

// The feed's altitude at t, between the places either side of it.
double lf_fedAltitudeAt(const std::vector<Fed>& fed, double t)
{
    const auto after = std::lower_bound(fed.begin(), fed.end(), t, [](const Fed& f, double u) { return f.t < u; });
    if (after == fed.begin()) return fed.front().altitudeFt;
    if (after == fed.end()) return fed.back().altitudeFt;
    const Fed& a = *(after - 1);
    const double u = after->t > a.t ? (t - a.t) / (after->t - a.t) : 0.0;
    return a.altitudeFt + u * (after->altitudeFt - a.altitudeFt);
}

// Once a second in the air: how long after the feed was at a place the
// aircraft is there, and its altitude against the feed's there.
void lf_judgeFeed(const Windows& w, const Stream& s, const Bounds& b, Verdict& v)
{
    if (s.fed.empty()) return;
    double next = -1e18;
    for (std::size_t i = 1; i < s.seen.size(); ++i) {
        const Seen& x = s.seen[i];
        if (x.t < next || w.onGround(i)) continue;
        next = x.t + 1.0;
        const OnFeed f = lf_onFeed(s.fed, x, 10.0 * b.lagS, 10.0);
        if (f.offNm > b.matchNm) continue;  // not on the feed's path here (a turn cut, a path of its own)
        v.lag.take(x.t - f.t, b.lagS, x.t, s.name,
                   vr::format("where the feed was {:.1f} s before ({:.2f} nm off its path)", x.t - f.t, f.offNm));
        if (!f.airborne) continue;
        // The altitudes served within 2 s of that moment of the feed: a place
        // matched a little early or late on a climb is no altitude fault.
        double low = f.altitudeFt, high = f.altitudeFt;
        for (const double dt : {-2.0, 2.0}) {
            const double a = lf_fedAltitudeAt(s.fed, f.t + dt);
            low = std::min(low, a);
            high = std::max(high, a);
        }
        const double off = x.altitudeFt < low ? low - x.altitudeFt : x.altitudeFt > high ? x.altitudeFt - high : 0.0;
        v.altServed.take(off, b.altServedFt, x.t, s.name,
                         vr::format("{:.0f} ft, served {:.0f} ft there ({:.0f} to {:.0f} ft within 2 s)",
                                    x.altitudeFt, f.altitudeFt, low, high));
    }
}

// Whether the stream left the ground and climbed away, came down and stood,
// or rolled tail first: what of the ground a run judged.
void lf_countGroundWork(const Windows& w, const Stream& s, const Bounds& b, Verdict& v)
{
    const auto& x = s.seen;
    bool ground = false, aloft = false, departed = false, stopped = false, pushed = false;
    const double end = s.removedAt >= 0.0 ? s.removedAt : (x.empty() ? 0.0 : x.back().t);
    for (std::size_t i = 1; i < x.size(); ++i) {
        const double height = x[i].altitudeFt - s.groundFt;
        if (w.onGround(i)) {
            ground = true;
            if (aloft && !stopped) {
                std::size_t k = i + 1;
                while (k < x.size() && x[k].t < x[i].t + 5.0) ++k;
                stopped = k < x.size() ? lf_horizontalM(x[i], x[k]) < 1.0 &&
                                             lf_horizontalM(x[i], x[k - 1]) < 1.0
                                       : end - x[i].t >= 5.0 && lf_horizontalM(x[i], x.back()) < 1.0;
            }
        } else if (height > 500.0) {
            departed = departed || ground;
            aloft = true;
        }
        const std::size_t j = w.end[i];
        if (!pushed && j != Windows::npos && w.allGround(i, j) && w.trueKt(i, j) > b.crabAboveKt) {
            const double track = bearingDeg(x[i].latitude, x[i].longitude, x[j].latitude, x[j].longitude);
            pushed = std::abs(lf_wrap180(x[w.middle(i, j)].headingDeg - track)) > 150.0;
        }
    }
    // A landing the feed brought to a stop on the ground while the aircraft was there to see.
    bool servedStop = false, servedAloft = false;
    for (const Fed& f : s.fed) {
        if (f.t > end) break;
        servedAloft = servedAloft || f.airborne;
        servedStop = servedStop || (servedAloft && !f.airborne && f.groundSpeedKt < 0.5);
    }
    v.groundDepartures += departed ? 1 : 0;
    v.landingsToAStop += stopped ? 1 : 0;
    v.landingsServedToAStop += aloft && ground && servedStop ? 1 : 0;
    v.pushBacks += pushed ? 1 : 0;
}

// A static parked aircraft: the program names it by its flight with a '*'.
bool lf_isStatic(const Stream& s) { return s.name.find('*') != std::string::npos; }

// Every half second, the live aircraft on the ground (where they last were,
// from their creation to their removal): the pair deepest inside the sum of
// their half wingspans while either moved over the half second. A static
// aircraft stands at its stand, whose neighbours the stand layout spaces; a
// live one taxiing onto the next stand is not a pair to judge.
void lf_judgeGroundSeparation(const std::vector<Stream>& streams, const Bounds& b, Verdict& v)
{
    double start = 1e18, stop = -1e18;
    for (const Stream& s : streams) {
        if (s.seen.empty()) continue;
        start = std::min(start, s.seen.front().t);
        stop = std::max(stop, s.seen.back().t);
    }
    if (start > stop) return;
    struct Now {
        const Stream* s;
        Seen at;
        double halfM;
        bool moved;
    };
    std::vector<std::size_t> cursor(streams.size(), 0);
    std::vector<Seen> before(streams.size());
    std::vector<bool> had(streams.size(), false);
    std::vector<Now> now;
    for (double t = start; t <= stop; t += 0.5) {
        now.clear();
        for (std::size_t n = 0; n < streams.size(); ++n) {
            const Stream& s = streams[n];
            std::size_t& c = cursor[n];
            if (s.seen.empty() || lf_isStatic(s) || s.seen.front().t > t || (s.removedAt >= 0.0 && s.removedAt <= t)) {
                had[n] = false;
                continue;
            }
            while (c + 1 < s.seen.size() && s.seen[c + 1].t <= t) ++c;
            const Seen& at = s.seen[c];
            const bool moved = had[n] && lf_horizontalM(before[n], at) > 0.05;
            before[n] = at;
            had[n] = true;
            if (at.altitudeFt - s.groundFt > s.onGroundBelowFt) continue;
            now.push_back({&s, at, s.halfSpanM > 0.0 ? s.halfSpanM : halfSpanOfTitle(s.title, b.halfSpanM), moved});
        }
        for (std::size_t i = 0; i < now.size(); ++i)
            for (std::size_t k = i + 1; k < now.size(); ++k) {
                const Now &p = now[i], &q = now[k];
                if (!p.moved && !q.moved) continue;
                const double m = lf_horizontalM(p.at, q.at);
                v.groundSep.take(p.halfM + q.halfM - m, 0.0, t, p.s->name + " / " + q.s->name,
                                 vr::format("{:.1f} m apart, their half wingspans {:.1f} + {:.1f} m", m, p.halfM,
                                            q.halfM));
            }
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
constexpr Figure Verdict::*lf_figures[] = {
    &Verdict::crab,  &Verdict::accel, &Verdict::gndSpeed, &Verdict::airSpeed,  &Verdict::vs,
    &Verdict::level, &Verdict::jump,  &Verdict::race,     &Verdict::spacing,   &Verdict::vjump,
    &Verdict::below, &Verdict::hang,  &Verdict::frames,   &Verdict::altServed, &Verdict::lag,
    &Verdict::groundSep};
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
    std::vector<std::string> all;
    for (const Figure* f : figures()) all.emplace_back(f->property);
    return failuresAmong(all);
}

std::string Verdict::assertedFailures(const std::string& run) const
{
    std::vector<std::string> asserted;
    for (const Figure* f : figures()) {
        const bool pending = std::any_of(notYetAsserted.begin(), notYetAsserted.end(), [&](const PendingCheck& c) {
            return f->property == std::string(c.property) &&
                   std::find(c.runs.begin(), c.runs.end(), run) != c.runs.end();
        });
        if (!pending) asserted.emplace_back(f->property);
    }
    return failuresAmong(asserted);
}

std::string Verdict::failuresAmong(const std::vector<std::string>& properties) const
{
    std::string out;
    for (const Figure* f : figures()) {
        if (f->pass || std::find(properties.begin(), properties.end(), f->property) == properties.end()) continue;
        if (!out.empty()) out += ", ";
        out += f->property;
    }
    return out;
}

void Verdict::addFrames(const Verdict& other)
{
    if (!other.frames.measured) return;
    // The share is over the updates of both; where: the longest late gap.
    if (!frames.measured || other.longestLateS > longestLateS || (lateUpdates == 0 && other.lateUpdates == 0)) {
        frames.at = other.frames.at;
        frames.where = other.frames.where;
        longestLateS = std::max(longestLateS, other.longestLateS);
    }
    movingUpdates += other.movingUpdates;
    lateUpdates += other.lateUpdates;
    frames.measured = true;
    frames.bound = other.frames.bound;
    frames.worst = 100.0 * static_cast<double>(lateUpdates) / static_cast<double>(std::max<std::size_t>(movingUpdates, 1));
    frames.pass = frames.worst <= frames.bound;
}

void Verdict::add(const Verdict& other)
{
    for (const auto member : lf_figures) {
        Figure& m = this->*member;
        const Figure& o = other.*member;
        if (!o.measured || member == &Verdict::frames) continue;
        const bool smallerIsWorse = member == &Verdict::spacing;
        if (!m.measured || (smallerIsWorse ? o.worst < m.worst : o.worst > m.worst)) m = o;
    }
    addFrames(other);
    groundDepartures += other.groundDepartures;
    landingsToAStop += other.landingsToAStop;
    landingsServedToAStop += other.landingsServedToAStop;
    pushBacks += other.pushBacks;
}

std::string Verdict::table(const std::string& title) const
{
    std::string out = vr::format("{}: {}\n", title, pass() ? "pass" : "FAIL (" + failures() + ")");
    out += vr::format("  on the ground: {} departure(s) climbing away, {} landing(s) served to a stop ({} seen "
                      "stopping), {} push-back(s)\n",
                      groundDepartures, landingsServedToAStop, landingsToAStop, pushBacks);
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
    lf_judgeVertical(s, b, v);
    lf_judgeBelow(s, b, v);
    lf_judgeHang(s, b, v);
    lf_judgeFrames(s, b, v);
    lf_judgeFeed(w, s, b, v);
    lf_countGroundWork(w, s, b, v);
    return v;
}

Verdict judgeAll(const std::vector<Stream>& streams, const std::vector<double>& creationTimes, const Bounds& b)
{
    Verdict all;
    for (const Stream& s : streams) all.add(judgeStream(s, b));
    lf_judgeGroundSeparation(streams, b, all);
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

double halfSpanOfTitle(const std::string& title, double fallback)
{
    // Wingspans (m) of the types the worlds fly, by the names a title gives them.
    static const std::pair<const char*, double> spans[] = {
        {"A318", 34.1}, {"A319", 35.8}, {"A320", 35.8}, {"A321", 35.8}, {"A20N", 35.8}, {"A21N", 35.8},
        {"A332", 60.3}, {"A333", 60.3}, {"A359", 64.8}, {"A388", 79.8}, {"B737", 35.8}, {"B738", 35.8},
        {"737-800", 35.8}, {"B739", 35.8}, {"B38M", 35.9}, {"B744", 64.4}, {"B77W", 64.8}, {"777-300", 64.8},
        {"B788", 60.1}, {"B789", 60.1}, {"E190", 28.7}, {"E195", 28.7}, {"CRJ9", 24.9}, {"DH8D", 28.4},
        {"AT76", 27.1}, {"C172", 11.0}, {"172", 11.0}};
    for (const auto& [name, span] : spans)
        if (title.find(name) != std::string::npos) return span / 2.0;
    return fallback;
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

namespace {
// A stream's callsign: its name after the object id ("104 EZY104": "EZY104").
std::string lf_callsignOf(const std::string& name)
{
    const auto space = name.find(' ');
    return space == std::string::npos ? name : name.substr(space + 1);
}
}  // namespace

std::string streamsCsv(const std::vector<Stream>& streams, const std::vector<double>& creationTimes)
{
    std::string out = "object,t,lat,lon,alt_ft,heading_deg,speed_kt,vs_ftps\n";
    for (double t : creationTimes) out += vr::format("#created,{:.4f}\n", t);
    bool fed = false;
    std::map<std::string, bool> fedWritten;
    const std::vector<double>* frames = nullptr;
    for (const Stream& s : streams) {
        if (!frames && s.frameTimes) frames = s.frameTimes.get();
        out += vr::format("#ground,{},{:.2f},{:.2f},{:.2f}\n", s.name, s.groundFt, s.onGroundBelowFt, s.servedTopKt);
        if (!s.title.empty()) out += vr::format("#title,{},{}\n", s.name, s.title);
        if (s.removedAt >= 0.0) out += vr::format("#removed,{},{:.4f}\n", s.name, s.removedAt);
        if (!s.fed.empty() && !fedWritten[lf_callsignOf(s.name)]) {
            fedWritten[lf_callsignOf(s.name)] = true;
            if (!fed) out += "#clock,0\n";  // the feed's times are the receiver's already
            fed = true;
            for (const Fed& x : s.fed)
                out += vr::format("#feed,{},{:.3f},{:.7f},{:.7f},{:.1f},{:.1f},{}\n", lf_callsignOf(s.name), x.t,
                                  x.latitude, x.longitude, x.altitudeFt, x.groundSpeedKt, x.airborne ? 1 : 0);
        }
        for (const Served& x : s.served)
            out += vr::format("#served,{},{:.4f},{:.2f},{:.2f},{}\n", s.name, x.t, x.altitudeFt, x.groundSpeedKt,
                              x.airborne ? 1 : 0);
        for (const Seen& x : s.seen)
            out += vr::format("{},{:.4f},{:.8f},{:.8f},{:.3f},{:.3f},{:.3f},{:.4f}\n", s.name, x.t, x.latitude,
                              x.longitude, x.altitudeFt, x.headingDeg, x.speedKt, x.verticalSpeedFtps);
    }
    if (frames)
        for (const double t : *frames) out += vr::format("#frame,{:.4f}\n", t);
    return out;
}

bool parseStreamsCsv(const std::string& text, std::vector<Stream>& streams, std::vector<double>& creationTimes,
                     std::string* error)
{
    std::map<std::string, std::size_t> byName;
    std::map<std::string, std::vector<Fed>> feed;  // by callsign, on the wall clock until the end
    auto frames = std::make_shared<std::vector<double>>();
    double wallAtZero = std::nan("");
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
        } else if (f[0] == "#title") {
            if (f.size() < 3) return fail("a #title row is #title,object,title");
            std::string title = f[2];
            for (std::size_t k = 3; k < f.size(); ++k) title += "," + f[k];
            streamOf(f[1]).title = title;
        } else if (f[0] == "#removed") {
            if (f.size() != 3 || !numbers(2)) return fail("a #removed row is #removed,object,t");
            streamOf(f[1]).removedAt = num[2];
        } else if (f[0] == "#frame") {
            if (f.size() != 2 || !numbers(1)) return fail("a #frame row is #frame,t");
            frames->push_back(num[1]);
        } else if (f[0] == "#clock") {
            if (f.size() != 2 || !numbers(1)) return fail("a #clock row is #clock,wall_s_at_0");
            wallAtZero = num[1];
        } else if (f[0] == "#feed") {
            if (f.size() != 8 || !numbers(2))
                return fail("a #feed row is #feed,callsign,wall_s,lat,lon,alt_ft,gs_kt,airborne");
            feed[f[1]].push_back({num[2], num[3], num[4], num[5], num[6], num[7] != 0.0});
        } else if (!f[0].empty() && f[0][0] == '#') {
            continue;  // a comment
        } else {
            if (f.size() != 8 || !numbers(1)) return fail("a position row has 8 fields");
            streamOf(f[0]).seen.push_back({num[1], num[2], num[3], num[4], num[5], num[6], num[7]});
        }
    }
    if (!feed.empty() && std::isnan(wallAtZero)) {
        if (error) *error = "#feed rows without a #clock row: their times cannot be placed";
        return false;
    }
    for (auto& [callsign, rows] : feed) {
        for (Fed& x : rows) x.t -= wallAtZero;
        std::sort(rows.begin(), rows.end(), [](const Fed& a, const Fed& c) { return a.t < c.t; });
    }
    std::sort(frames->begin(), frames->end());
    for (Stream& s : streams) {
        const auto it = feed.find(lf_callsignOf(s.name));
        if (it != feed.end()) s.fed = it->second;
        if (!frames->empty()) s.frameTimes = frames;
    }
    return true;
}

}  // namespace motionjudge
