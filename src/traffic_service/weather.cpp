#include "traffic_service/weather.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>

#include <gsl/narrow>

#include "core/fmt.h"
#include "core/run_state.h"
#include "platform/clock.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

namespace {

void lf_repaint() { serviceHandover().repaintStatusPanel(); }

int lf_narrowRound(double v)
{
    const double r = std::round(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw gsl::narrowing_error();
    return static_cast<int>(r);
}

// A leading '-' and the decimal digits that follow, as a 32-bit int.
std::optional<int> lf_leadingInt(const std::string& text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    long long v = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (!any) return std::nullopt;
    if (negative) v = -v;
    if (v > 2147483647LL) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace

WeatherClient::WeatherClient() { readerAnswer.reserve(16384); }

WeatherClient::~WeatherClient() = default;

WeatherClient& weatherClient()
{
    static auto* w = new WeatherClient;
    return *w;
}

void WeatherClient::resetForRun()
{
    qnh = 1013;
    weatherOk = false;
    weatherLampLit = true;
    if (finished) {  // reader-thread state: only when no reader thread uses it
        readerAnswer.clear();
        station.clear();
    }
}

int extractQNH(const nlohmann::json& data)
{
    auto& h = serviceHandover();
    const auto it = data.is_object() ? data.find("QNH") : data.end();
    if (!data.is_object() || it == data.end()) {
        h.logLineMarked("No QNH found in data");
        return 1013;
    }
    long long value = 1013;
    if (it->is_number_unsigned()) {
        if (it->get<unsigned long long>() > INT32_MAX) throw gsl::narrowing_error();
        value = static_cast<long long>(it->get<unsigned long long>());
    } else if (it->is_number_integer()) {
        value = it->get<long long>();
        if (value < INT32_MIN || value > INT32_MAX) throw gsl::narrowing_error();
    } else if (it->is_number_float()) {
        const double d = it->get<double>();
        // Beyond single precision the conversion itself would be undefined.
        if (!(std::fabs(d) <= static_cast<double>(std::numeric_limits<float>::max()))) throw gsl::narrowing_error();
        value = lf_narrowRound(static_cast<float>(d));
    } else if (it->is_string()) {
        const auto v = lf_leadingInt(it->get<std::string>());
        if (!v) {
            h.logLineMarked(vr::format("{}: {}", "extractQNH", it->get<std::string>()));
            return 1013;
        }
        value = *v;
    } else {
        h.logLineMarked("No QNH found in data");
        return 1013;
    }
    if (value > 1080) return lf_narrowRound(static_cast<double>(value) * 0.33865307);
    return static_cast<int>(value);
}

bool WeatherClient::nearestmetar(int& status)
{
    auto& h = serviceHandover();
    const std::string guid = sessionGuid();
    if (guid.empty()) {
        waitInterval(wrrl);
        return false;
    }
    try {
        const ServiceUserAircraft user = h.userAircraft();
        const std::string body =
            vr::format("GUID={}&toffset={}&lat={:.4F}&lon={:.4F}", formValue(guid), toffset.load(), user.lat, user.lon);
        prepareReaderPost(stationHandle, "nmcurl_", "/v4/nearestmetar", body, readerAnswer, stop);
        const CURLcode rc = performTransfer(stationHandle.get(), &stop, true);
        if (rc != CURLE_OK) {
            if (!stoppedTransfer(stop)) h.logLineMarked(vr::format("{} nearestmetar code: {}", h.formatNow(), curl_easy_strerror(rc)));
        } else if (readerAnswer.empty()) {
            h.logLineMarked("nearest metar: empty content");
        } else {
            const nlohmann::json answer = nlohmann::json::parse(readerAnswer, nullptr, false);
            if (answer.is_discarded()) {
                h.logLineMarked("nearest metar: invalid JSON");
            } else {
                const int s = readerStatus(answer);
                if (s == 200) {
                    const auto it = answer.find("data");
                    if (it == answer.end() || it->is_null() || (it->is_structured() && it->empty())) {
                        station.clear();
                    } else {
                        if (!it->is_array())
                            throw std::runtime_error(vr::format("nearestmetar data is not an array: {}", it->type_name()));
                        const std::string icao = jsonValueString((*it)[0], "ICAO", "");
                        if (!icao.empty()) {
                            station = icao;
                            weatherOk = true;
                            waitInterval(wrrl);
                            return true;
                        }
                        station.clear();
                    }
                } else {
                    status = s;
                    if (s == 406 || s == 500)
                        h.logLineMarked(vr::format("{} json nearestmetar {}", s, jsonValueString(answer, "message", "")));
                }
            }
        }
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "nearestmetar", e.what()));
    }
    waitInterval(wrrl);
    return false;
}

bool WeatherClient::receiveWeather(int& status, TrafficReader& reader)
{
    auto& h = serviceHandover();
    if (sessionGuid().empty()) return false;
    bool statusExit = false;
    while (!stop) {
        try {
            if (!nearestmetar(status)) {
                if (status == 400 || status == 401) {
                    statusExit = true;
                    break;
                }
                waitInterval(wrrl);
                continue;
            }
            const ServiceUserAircraft user = h.userAircraft();
            // NaN (no altitude yet) sends 0 too; the cast of NaN would be undefined.
            const double altFt = user.altitudeFt;
            const long long alt = !(altFt >= 1) ? 0 : static_cast<long long>(std::min(altFt, 1e9));
            const std::string body = vr::format(
                "GUID={}&querytype=locwx&toffset={}&lat={:.4F}&lon={:.4F}&alt={}&airports={}", formValue(sessionGuid()),
                toffset.load(), user.lat, user.lon, alt, formValue(station));
            prepareReaderPost(weatherHandle, "wrcurl_", "/v4/weather", body, readerAnswer, stop);
            const CURLcode rc = performTransfer(weatherHandle.get(), &stop, true);
            if (rc != CURLE_OK) {
                if (!stoppedTransfer(stop)) {
                    weatherOk = false;  // the lamp follows the last answer
                    h.logLineMarked(vr::format("{} weather code: {}", h.formatNow(), curl_easy_strerror(rc)));
                }
            } else if (readerAnswer.empty()) {
                h.logLineMarked("Empty content?, no QNH to be found");
            } else {
                const nlohmann::json answer = nlohmann::json::parse(readerAnswer, nullptr, false);
                if (answer.is_discarded()) {
                    h.logLineMarked(vr::format("Invalid JSON: {}", readerAnswer));
                } else {
                    const int s = readerStatus(answer);
                    if (s == 200) {
                        wrrl = serviceInterval(answer, "wrrl");
                        const auto it = answer.find("data");
                        const int q = extractQNH(it == answer.end() ? nlohmann::json() : *it);
                        if (q < 930 || q > 1080) {
                            h.logLineMarked(vr::format("Strange QNH {} found in {}", q, readerAnswer));
                        } else if (q != qnh || q == 1013) {
                            int waiting = 2;
                            statusPanel().weatherLamp.compare_exchange_strong(waiting, 1);
                            h.setEngineQnh(q);
                            h.setPanelQnh(q);
                            reader.qnh = q;
                            reader.qnhKnown = true;
                            qnh = q;
                            lf_repaint();
                        }
                        weatherOk = true;
                    } else if (s == 406 || s == 500) {
                        status = s;
                        h.logLineMarked(vr::format("{} json weather {}", s, jsonValueString(answer, "message", "")));
                        weatherOk = false;
                    } else {
                        status = s;
                        statusExit = true;
                        break;
                    }
                }
            }
        } catch (const std::exception& e) {
            h.logLineMarked(vr::format("{}: {}", "receive", e.what()));
        }
        waitInterval(wrrl);
    }
    if (!statusExit || stop) {
        status = 9999;
        ended = true;
    }
    return false;
}

void runWeatherReader(WeatherClient& weather, TrafficReader& reader)
{
    auto& h = serviceHandover();
    weather.finished = false;
    try {
        int status = 0;
        logConnected("Weather Reader");
        statusPanel().weatherLamp = 1;
        lf_repaint();
        weather.receiveWeather(status, reader);
        statusPanel().weatherLamp = 3;
        lf_repaint();
        if (status != 9999) {
            logReaderEnd("Weather", status);
            stopReader(reader);
            h.reportStoppedWithError("Weather Reader", status == 401);
        }
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "gf_weatherReader", e.what()));
        h.reportStoppedWithError("Weather Reader", false);
    }
    weather.weatherHandle.reset();
    weather.stationHandle.reset();
    markReaderFinished(weather);
}

void gf_weatherReader() { runWeatherReader(weatherClient(), trafficReader()); }

bool launchWeatherReader() { return launchWeatherReader(weatherClient(), trafficReader()); }

bool launchWeatherReader(WeatherClient& weather, TrafficReader& reader)
{
    return launchReaderThread(weather, "Weather Reader", [&weather, &reader] { runWeatherReader(weather, reader); });
}

void checkWeatherHandles() { checkWeatherHandles(trafficReader(), weatherClient()); }

void checkWeatherHandles(TrafficReader& reader, WeatherClient& weather)
{
    auto& h = serviceHandover();
    if (reader.finished) {
        reader.CurlClient::reset();
        reader.trafficHandle.reset();
        reader.parkedHandle.reset();
    } else {
        h.logLineMarked("Traffic Reader still running: its handles and flags are kept");
    }
    reader.resetForRun();
    if (weather.finished) {
        weather.CurlClient::reset();
        weather.weatherHandle.reset();
        weather.stationHandle.reset();
    } else {
        h.logLineMarked("Weather Reader still running: its handles and flags are kept");
    }
    weather.resetForRun();
    weather.setSessionGuid("");
}

bool stopServiceReaders(std::chrono::milliseconds limit)
{
    stopReader(trafficReader());
    stopReader(weatherClient());
    const auto start = platform::steadyNow();
    const bool traffic = waitReaderFinished(trafficReader(), limit);
    const auto left = limit - std::chrono::duration_cast<std::chrono::milliseconds>(platform::steadyNow() - start);
    const bool weather = waitReaderFinished(weatherClient(), std::max(left, std::chrono::milliseconds(0)));
    return traffic && weather;
}
