#pragma once
// Picking values out of the service's answers (result strings) for a short,
// readable report. The answers are the library's own indented XML.
#include <string>
#include <vector>

namespace kelvo::cli {

// The texts of every element of that local name, whatever its prefix.
std::vector<std::string> Values(const std::string& xml, const std::string& name);
// The first of them, or "".
std::string First(const std::string& xml, const std::string& name);
// The whole content of every element of that local name.
std::vector<std::string> Blocks(const std::string& xml, const std::string& name);
// The answer with the decrypted exchange token masked, for printing.
std::string Printable(const std::string& xml);

}  // namespace kelvo::cli
