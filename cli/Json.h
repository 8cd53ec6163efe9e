// The command-line tool's --json output: documents built as nlohmann::ordered_json (keys keep
// the order they are added in) and printed two spaces deep, with arrays of numbers (colour
// triples, rectangles) on one line.
//
// Numbers are printed in the shortest form that reads back to the same double, so a table
// printed by `info --values` round-trips exactly. Not-a-number and infinite values have no JSON
// form and are printed as null. The output is ASCII: other characters are \u escapes.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string_view>

namespace tintavo::cli {

using TJson = nlohmann::ordered_json;

// An 8-bit text from a LUT file as a JSON string: valid UTF-8 stays as it is, any other byte is
// taken as Latin-1.
TJson JsonText(std::string_view text);

// Prints `document` followed by a line feed.
void PrintJson(std::ostream& out, const TJson& document);

}  // namespace tintavo::cli
