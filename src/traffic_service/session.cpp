#include "traffic_service/session.h"

#include <stdexcept>

#include "core/fmt.h"
#include "core/start_moments.h"
#include "platform/clock.h"
#include "traffic_service/handover.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

namespace {

bool lf_isRefusal(int s) { return s == 400 || s == 402 || s == 404 || s == 405 || s == 500; }

// The service's pause after a login; a close ends it at once.
void lf_sleepMs(int ms) { sleepUnlessStopped(std::chrono::milliseconds(ms)); }

// The time a refusal stays on the message line before the run ends; a close of
// the program cuts it short.
void lf_showRefusal() { sleepUnlessStopped(std::chrono::seconds(10)); }

}  // namespace

bool authenticate(int& status) { return authenticate(status, weatherClient()); }

bool authenticate(int& status, WeatherClient& weather)
{
    auto& h = serviceHandover();
    try {
        weather.answer.clear();
        const std::string url = serviceBaseUrl() + "/v4/auth";
        if (curl_easy_setopt(weather.handle.get(), CURLOPT_URL, url.c_str()) != CURLE_OK)
            throw std::runtime_error("TrafficReader failed to set CURLOPT_URL");
        const std::string body =
            vr::format("license={}&software={}_{}", formValue(h.serviceKey()), kSoftwareId, kProgramVersionText);
        weather.setPost(body);
        // A close during the login ends it at once.
        const CURLcode rc = performTransfer(weather.handle.get(), nullptr, true);
        if (rc != CURLE_OK) {
            if (anyStopFlag()) {
                h.logLine(vr::format("{} Authentication ended by the close", h.formatNow()));
                return false;
            }
            h.logLine(vr::format("{} Authentication failed: {}", h.formatNow(), curl_easy_strerror(rc)));
            return false;
        }
        if (weather.answer.empty()) {
            h.logLine("Authentication: empty response");
            return false;
        }
        const nlohmann::json answer = nlohmann::json::parse(weather.answer);
        if (answer.is_object()) {
            const auto it = answer.find("status");
            if (it != answer.end() && it->is_number_integer()) {
                const long long s = it->get<long long>();
                if (lf_isRefusal(static_cast<int>(s)) && s == static_cast<int>(s)) {
                    status = static_cast<int>(s);
                    return false;
                }
            }
        }
        weather.rrl = serviceInterval(answer, "rrl");
        weather.wrrl = serviceInterval(answer, "wrrl");
        h.logLine(vr::format("\nAuthenticated at RT server '{}'", jsonValueString(answer, "server", "?")));
        weather.setSessionGuid(jsonValueString(answer, "GUID", "empty GUID?"));
        sessionOpen = true;
        markStartMoment(StartMoment::login);
        h.repaintStatusPanel();
        lf_sleepMs(weather.wrrl);
        return true;
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "authenticate", e.what()));
    }
    lf_sleepMs(weather.wrrl);
    return false;
}

void gf_authenticater() { gf_authenticater(weatherClient(), trafficReader()); }

void gf_authenticater(WeatherClient& weather, TrafficReader& reader)
{
    auto& h = serviceHandover();
    h.showMessage("Waiting for authentication at RT server ...", true);
    h.logLine("\n");
    int status = 0;
    if (authenticate(status, weather)) {
        h.clearMessage();
        reader.setSessionGuid(weather.sessionGuid());
        return;
    }
    if (status == 402 || status == 404) {
        const std::string text = status == 402
                                     ? "Your RealTraffic license is not valid, check the license key"
                                     : "Your RealTraffic license was not found, check the license key";
        h.showMessage(text, true);
        lf_showRefusal();
        throw qxv::UserErrorException(status, text);
    }
    if (status == 405) {
        const std::string text = "More than one RealTraffic session is not possible, do not run the RealTraffic app";
        h.showMessage(text, true);
        lf_showRefusal();
        throw qxv::UserErrorException(405, text);
    }
    if (status == 500) throw std::runtime_error("No RT database connection");
    if (anyStopFlag()) {
        // Closed during the login: no session, and no error to show.
        h.clearMessage();
        return;
    }
    h.showMessage(vr::format("The {} has stopped with an error", "Authenticater"), true);
    h.requestClosing(6, 15);
    h.clearMessage();
    reader.setSessionGuid(weather.sessionGuid());
}

void deauthenticate(CurlClient& target, std::chrono::milliseconds limit)
{
    auto& h = serviceHandover();
    try {
        target.answer.clear();
        const std::string url = serviceBaseUrl() + "/v4/deauth";
        if (curl_easy_setopt(target.handle.get(), CURLOPT_URL, url.c_str()) != CURLE_OK)
            throw std::runtime_error("Failed to set CURLOPT_URL");
        const std::string body = vr::format("GUID={}", formValue(target.sessionGuid()));
        target.setPost(body);
        // The logout runs while the run closes (the stop flags are set): it has a
        // short limit of its own and is then given up; the service forgets an
        // idle session by itself.
        const long ms = static_cast<long>(limit.count());
        curl_easy_setopt(target.handle.get(), CURLOPT_CONNECTTIMEOUT_MS, ms);
        curl_easy_setopt(target.handle.get(), CURLOPT_TIMEOUT_MS, ms);
        const CURLcode rc = performTransfer(target.handle.get(), nullptr, false);
        if (rc == CURLE_OPERATION_TIMEDOUT) {
            h.logLine(vr::format("{} Deauthentication given up after {} ms: no answer from the RT server",
                                 h.formatNow(), limit.count()));
            return;
        }
        if (rc != CURLE_OK) {
            h.logLine(vr::format("{} Deauthentication failed: {}", h.formatNow(), curl_easy_strerror(rc)));
            return;
        }
        if (target.answer.empty()) {
            h.logLine("Deauthentication: empty response");
            return;
        }
        const nlohmann::json answer = nlohmann::json::parse(target.answer, nullptr, false);
        if (answer.is_discarded()) {
            h.logLine("Deauthentication: invalid JSON");
            return;
        }
        const int s = readerStatus(answer);
        if (s != 200) {
            h.logLineMarked(vr::format("Deauthentication failed, status: {}", s));
            return;
        }
        sessionOpen = false;
        h.repaintStatusPanel();
        target.setSessionGuid("");
        h.logLine(vr::format("{} RT server '{}'", jsonValueString(answer, "message", ""),
                             jsonValueString(answer, "server", "")));
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "deauthenticate", e.what()));
    }
}
