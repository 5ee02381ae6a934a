#pragma once
// Text in lines ended by CR LF, the line end of the library's writer, log and
// archive.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::test {

// The lines joined with CR LF (none after the last).
std::string JoinCrLf(std::initializer_list<std::string_view> lines);

// Splits text into lines at CR LF; a final CR LF ends the last line and starts
// no empty one.
std::vector<std::string> SplitCrLf(const std::string& text);

}  // namespace kelvo::test
