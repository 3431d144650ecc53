#pragma once
// Small shared values of the live-traffic client.

#include "core/geodesy.h"

// The software id sent with the login, and the program's version text.
inline constexpr const char* kSoftwareId = "VRMT_P3D";
inline constexpr const char* kProgramVersionText = "11.0.3";
