#pragma once
// The airport fixture with the static parking's state: the airport list, the
// park-airport list, the engine's aircraft and stands emptied, a parked-traffic
// source answering from `parked`, the current weekday and half hour, and the
// user aircraft set directly.

#include <vector>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/parking_renewal.h"
#include "airports/static_parking.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/slot_records.h"
#include "engine/timed_queues.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "support/airport_fixture.h"
#include "traffic_service/parked_record.h"
#include "traffic_service/traffic_reader.h"

class ParkingFixture : public AirportFixture {
protected:
    void SetUp() override
    {
        AirportFixture::SetUp();
        lf_reset();
        setCurrentParkAirport({.code = "EHAM", .iata = "AMS", .lat = 52.3, .lon = 4.76, .elevationFt = 0.0});
        setParkedTrafficSource([this](std::vector<ParkedTrafficRecord>& out) {
            out = parked;
            return parkedRead;
        });
        currentSlotAndWeekday = packSlotAndWeekday(20, 1);  // Monday 10:00
    }
    void TearDown() override
    {
        lf_reset();
        setParkedTrafficSource({});
        AirportFixture::TearDown();
    }
    static void lf_reset()
    {
        resetAirportState();
        clearStandState();
        liveAircraft.clear();
        staticAircraft.clear();
        clearTimedQueues();
        resetAirportList();
        resetAppServices();
        currentSlotAndWeekday = 0;
        userOnGround = false;
        (void)trafficReader().takeCollectedTraffic();
        std::lock_guard lock(simQueueMutex);
        userAcStateLocked() = UserAcState{};
    }
    static void addAirport(const std::string& code, double lat, double lon, double alt = 0.0)
    {
        Airport a{code, "", lat, lon, alt};
        const auto it = std::lower_bound(airportList.begin(), airportList.end(), code,
                                         [](const Airport& x, const std::string& c) { return x.code < c; });
        airportList.insert(it, a);
        airportsRead = true;
    }
    static void setUser(double lat, double lon, double heightFt, bool onGround)
    {
        {
            std::lock_guard lock(simQueueMutex);
            UserAcState& s = userAcStateLocked();
            s.latitude = lat;
            s.longitude = lon;
            s.altitude = heightFt;
            s.altAboveGround = heightFt;
        }
        userOnGround = onGround;
    }
    // Stands numbered 1, 2, ... in order; their conflicts from their positions.
    static void setStands(std::vector<Stand> v);

    std::vector<ParkedTrafficRecord> parked;
    bool parkedRead = true;
};

// A stand of 20 m radius at the position.
Stand makeStand(const std::string& name, double lat, double lon, std::vector<SlotRecord> options = {});
// A real (or soft) option of one weekday with the given half hours.
SlotRecord makeOption(const std::string& airline, const std::string& type, const std::string& reg,
                      const std::string& cs, std::uint32_t weekday, std::vector<int> slots, std::uint32_t real = 1,
                      std::uint32_t source = 0);
