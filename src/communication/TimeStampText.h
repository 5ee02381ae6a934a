#pragma once
// Date-times written in the fixed forms of the log, the archive file names and
// the signature base. The fields are those of the value as it stands (no
// conversion happens here); fractions are cut off, never rounded.
#include <string>
#include <string_view>

#include "api/xml/values/DateTime.h"

namespace kelvo::Communication::Common {

// The log timestamp, local time: "2020.07.01 10:20:30:9990".
inline constexpr std::string_view kLogTimeStampFormat = "yyyy.MM.dd HH:mm:ss:ffff";
// The archive file name timestamp, local time: "2020_07_01_10_20_30_9990".
inline constexpr std::string_view kArchiveTimeStampFormat = "yyyy_MM_dd_HH_mm_ss_ffff";
// The time of the signature base, UTC: "20200701102030".
inline constexpr std::string_view kSignatureTimeFormat = "yyyyMMddHHmmss";

// Renders value by format, where yyyy, MM, dd, HH, mm, ss stand for the
// zero-padded fields and a run of 1 to 7 f for as many leading digits of the
// fraction of the second; every other character stands for itself.
std::string FormatTimeStamp(const api::xml::DateTime& value, std::string_view format);

}  // namespace kelvo::Communication::Common
