#pragma once
// The motion judge: what a pilot would see of one AI aircraft, measured from
// the positions and times the simulator received and nothing else (never from
// what the engine says of itself). It computes, over windows of one second of
// the receiver's clock:
//
//   crab        on the ground above 3 kt: heading against the direction of
//               travel (a push-back, tail first, counts as travel along it)
//   accel       on the ground: the change of the true speed from one second
//               to the next (roll-out braking included)
//   gndSpeed    on the ground: true speed against the speed the simulator was told
//   airSpeed    in the air: the same, with the air's bound
//   vs          in the air: the vertical speed told against the climb or descent seen
//   level       while served level (two served samples or more at one altitude):
//               how far the seen altitude leaves it
//   jump        the distance between one update and the next (the creation's
//               place first)
//   race        the highest true speed over any window, against the highest
//               ground speed served
//
// and, over creations, the smallest time between two (spacing). Each figure
// keeps its worst value, where it was and whether it is within its bound.
// Tests judge the scenes and the whole-program run with it; vrmt-motiontrace
// prints its figures. No engine code in here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace motionjudge {

// One position as the simulator received it.
struct Seen {
    double t = 0.0;          // s, the receiver's clock
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitudeFt = 0.0;
    double headingDeg = 0.0;         // true
    double speedKt = 0.0;            // the speed the simulator was told
    double verticalSpeedFtps = 0.0;  // the vertical speed the simulator was told
};

// One sample the traffic service served, on the receiver's clock (when it is due).
struct Served {
    double t = 0.0;
    double altitudeFt = 0.0;
    double groundSpeedKt = 0.0;
    bool airborne = false;
};

// Everything known of one AI object.
struct Stream {
    std::string name;
    double groundFt = 0.0;         // the ground under it (the worlds are flat)
    double onGroundBelowFt = 15.0;  // on the ground while at most this high above it
    std::vector<Seen> seen;         // the creation's place first, then every update in order
    std::vector<Served> served;     // may be empty: no level check
    // The highest ground speed served (0: from `served`; none there: no race check).
    double servedTopKt = 0.0;
};

// The bounds; each is a floor a believable motion beats.
struct Bounds {
    double crabDeg = 15.0;          // nose within 15 degrees of the way it goes
    double crabAboveKt = 3.0;       // below: turning on the spot is fine
    double groundAccelKtps = 6.0;   // firm braking or a brisk start, no more
    double groundSpeedShare = 0.30;  // true within 30 % + 2 kt of the shown speed
    double groundSpeedPlusKt = 2.0;
    double airSpeedShare = 0.15;    // and in the air within 15 % + 5 kt
    double airSpeedPlusKt = 5.0;
    double verticalShare = 0.30;    // the told vertical speed within 30 % + 300 fpm of the seen one
    double verticalPlusFpm = 300.0;
    double levelFt = 50.0;          // an altimeter needle a pilot would call steady
    double jumpKm = 2.0;            // no update moves it more than 2 km
    double raceShare = 1.5;         // never above 1.5 x the served top speed + 50 kt
    double racePlusKt = 50.0;
    double spacingS = 0.5;          // creations at least 0.5 s apart
    double windowS = 1.0;           // the window every speed is measured over
};

// A property's worst value over a stream (or over several: `worse`).
struct Figure {
    Figure() = default;
    Figure(const char* name, const char* units) : property(name), unit(units) {}
    const char* property = "";
    const char* unit = "";
    bool measured = false;  // false: nothing to measure (no window of that kind)
    double worst = 0.0;     // the figure compared with the bound (bigger is worse; spacing: smaller)
    double bound = 0.0;
    double at = 0.0;        // s, receiver's clock
    bool pass = true;
    std::string where;      // the stream, and what was seen there
    void take(double value, double limit, double t, const std::string& stream, const std::string& detail);
};

struct Verdict {
    Figure crab{"crab", "deg"};
    Figure accel{"accel", "kt/s"};
    Figure gndSpeed{"gndSpeed", "kt over"};
    Figure airSpeed{"airSpeed", "kt over"};
    Figure vs{"vs", "fpm over"};
    Figure level{"level", "ft"};
    Figure jump{"jump", "km"};
    Figure race{"race", "kt over"};
    Figure spacing{"spacing", "s"};

    std::vector<const Figure*> figures() const;
    bool pass() const;
    // The properties that failed, by name ("crab, accel"); empty when all pass.
    std::string failures() const;
    // The worse of each figure of this verdict and another's.
    void add(const Verdict& other);
    // One line a property: name, worst, bound, pass or FAIL, where.
    std::string table(const std::string& title) const;
};

// Judges one stream. Figures are "over" their bound by how much the measure
// exceeds its allowance (negative: within it), except crab, accel, level, jump.
Verdict judgeStream(const Stream& s, const Bounds& b = {});
// Judges every stream and the creation times (s, any order) together.
Verdict judgeAll(const std::vector<Stream>& streams, const std::vector<double>& creationTimes,
                 const Bounds& b = {});

// Great-circle distance (nm) and initial bearing (degrees, [0, 360)) on a
// sphere of the earth's mean radius: the observer's own geometry.
double distanceNm(double lat1, double lon1, double lat2, double lon2);
double bearingDeg(double lat1, double lon1, double lat2, double lon2);

// Reads and writes streams as CSV: "object,t,lat,lon,alt_ft,heading_deg,speed_kt,vs_ftps"
// rows, with "#ground,object,ft" rows for the ground and "#created,t" rows.
std::string streamsCsv(const std::vector<Stream>& streams, const std::vector<double>& creationTimes);
bool parseStreamsCsv(const std::string& text, std::vector<Stream>& streams, std::vector<double>& creationTimes,
                     std::string* error = nullptr);

}  // namespace motionjudge
