#include "airports/stand_file.h"

std::string airportXmlName(const std::string& icao) { return icao + ".xml"; }

std::filesystem::path airportFileName(const std::string& icao) { return std::filesystem::path(icao + ".xml"); }

std::filesystem::path airportLinkFileName(const std::string& icao) { return std::filesystem::path(icao + ".txt"); }
