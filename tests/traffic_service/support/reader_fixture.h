#pragma once
// A stand-in service, a recording hand-over table and a fast clock for the
// reader thread tests; the readers are stopped and waited for at the end.

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "service_standin.h"
#include "support/recording_handover.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

class ReaderFixture : public ::testing::Test {
protected:
    // timeFactor: real time per clock time (0.01 makes a second 10 ms).
    explicit ReaderFixture(double timeFactor = 0.01) : clock_(std::make_shared<platform::ScaledClock>(timeFactor))
    {
        service.start();
        setServiceBaseUrl(service.baseUrl());
        setServiceTimeouts({});
        fake.install();
        statusPanel().trafficLamp = 2;
        statusPanel().weatherLamp = 2;
        sessionOpen = true;
        reader.setSessionGuid("G-1");
        reader.setUserPosition({52.3, 4.76});
        weather.setSessionGuid("G-1");
    }
    ~ReaderFixture() override
    {
        reader.stop = true;
        weather.stop = true;
        EXPECT_TRUE(eventually([this] { return reader.finished.load() && weather.finished.load(); }));
        service.stop();
    }
    bool finishes(CurlClient& c) { return eventually([&c] { return c.finished.load(); }); }

    platform::ScopedClock clock_;
    standin::FakeTrafficService service;
    RecordingHandover fake;
    TrafficReader reader;
    WeatherClient weather;
};
