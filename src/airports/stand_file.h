#pragma once
// Airport stand files: "<ICAO>.xml" with three top-level elements (meta,
// parameters, parkpositions), their learned companions, "<ICAO>.txt" link
// files, and where each of them is found.

#include <filesystem>
#include <string>

// ICAO + ".xml".
std::string airportXmlName(const std::string& icao);
// ICAO + ".xml" / ICAO + ".txt" as paths; callers join them to a folder.
std::filesystem::path airportFileName(const std::string& icao);
std::filesystem::path airportLinkFileName(const std::string& icao);
