#pragma once
// Session login and logout at the live-traffic service.

#include <chrono>
#include <string>

class CurlClient;
class TrafficReader;
class WeatherClient;

// Login on the weather client's own handle; false with `status` set to the
// refusing status (0 after a transfer error, an empty answer or an exception).
bool authenticate(int& status);
bool authenticate(int& status, WeatherClient& weather);
// The login step of the main cycle. Throws qxv::UserErrorException for 402, 404
// and 405 and std::runtime_error for 500; other refusals end the run (reason 6).
void gf_authenticater();
void gf_authenticater(WeatherClient& weather, TrafficReader& reader);
// The logout's own limit at closing (connect and answer together): the close
// of the program must not wait longer for a silent service.
inline constexpr std::chrono::milliseconds deauthLimit{600};
// Logout with the target's own handle and GUID, given up after `limit`; never throws.
void deauthenticate(CurlClient& target, std::chrono::milliseconds limit = deauthLimit);
