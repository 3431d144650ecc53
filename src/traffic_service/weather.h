#pragma once
// The weather client: the session login's handle, and the Weather Reader
// thread that keeps the QNH at the user aircraft current.

#include <atomic>
#include <string>

#include <nlohmann/json.hpp>

#include "traffic_service/curl_client.h"

class TrafficReader;

class WeatherClient : public CurlClient {
public:
    WeatherClient();
    ~WeatherClient() override;

    // Reader thread.
    bool nearestmetar(int& status);
    bool receiveWeather(int& status, TrafficReader& reader);
    // The state part of the reset before a new run.
    void resetForRun();

    std::atomic<bool> weatherLampLit{false};
    std::atomic<int> qnh{1013};
    std::atomic<bool> weatherOk{false};

    // Owned by the reader thread for its whole life (made on first use, freed when it ends).
    CurlHandle weatherHandle;
    CurlHandle stationHandle;
    std::string readerAnswer;
    std::string station;
};

WeatherClient& weatherClient();

// The QNH in hPa from the "data" value of a weather answer (not range-checked).
int extractQNH(const nlohmann::json& data);

void gf_weatherReader();
void runWeatherReader(WeatherClient& weather, TrafficReader& reader);
bool launchWeatherReader();
bool launchWeatherReader(WeatherClient& weather, TrafficReader& reader);

// The reset of both clients before a new run. A client whose reader thread
// still runs keeps its flags and handles (the thread owns them); this is logged.
void checkWeatherHandles();
void checkWeatherHandles(TrafficReader& reader, WeatherClient& weather);

// Stops both readers and waits for them, at most `limit`; true when both finished.
bool stopServiceReaders(std::chrono::milliseconds limit);
