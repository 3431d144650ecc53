#pragma once
// Writing XML text straight away, byte for byte as pugixml saves a document
// with its default format. For the large files made from many small records
// (generated stand files, LiveriesScanned.xml), where building a document
// first costs more than the rest of the work.

#include <string>
#include <string_view>

#include <pugixml.hpp>

// Appends ` name="value"` as pugixml writes an attribute set from value.c_str():
// the value ends at its first NUL; &, < and " become entities, a control
// character "&#" and two decimal digits; '>' stays as it is.
void gf_appendXmlAttribute(std::string& out, std::string_view name, std::string_view value);

// Appends what doc.save() writes (default format: the declaration, a tab a level).
void gf_appendXmlDocument(std::string& out, const pugi::xml_document& doc);
