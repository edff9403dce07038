// Text made safe for JSON strings and for XHTML, whatever bytes the trace held.
#pragma once

#include <string>

namespace tracereport {

// A JSON string literal, quotes included: control characters as \u00XX, bytes that are not
// UTF-8 taken as Latin-1.
std::string JsonString(const std::string& text);

// Character data and attribute values of XHTML: markup characters as entities, control
// characters XML does not allow and bytes that are not UTF-8 as the text \xNN.
std::string XmlText(const std::string& text);

}  // namespace tracereport
