#pragma once
// The response archive: every answer body is saved as a file whose name is
// xmlPath, immediately followed by the local time "yyyy_MM_dd_HH_mm_ss_ffff"
// and "_response.xml". Nothing is inserted between the pieces, so xmlPath
// normally ends in a path separator; without one the files land beside the
// folder it names, their names starting with its last component. The file is
// appended to like the log, so two answers archived within the same
// ten-thousandth of a second share one file, the second after the first.
#include <string>
#include <string_view>

#include "api/xml/values/DateTime.h"

namespace kelvo::Communication::Common {

inline constexpr std::string_view kResponseArchiveSuffix = "_response.xml";

// The archive file name for an answer archived at localTime.
std::string ResponseArchiveFileName(std::string_view xmlPath, const api::xml::DateTime& localTime);

}  // namespace kelvo::Communication::Common
