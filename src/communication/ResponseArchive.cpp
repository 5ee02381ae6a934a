#include "communication/ResponseArchive.h"

#include "communication/TimeStampText.h"

namespace kelvo::Communication::Common {

std::string ResponseArchiveFileName(std::string_view xmlPath, const api::xml::DateTime& localTime) {
  std::string name(xmlPath);
  name += FormatTimeStamp(localTime, kArchiveTimeStampFormat);
  name += kResponseArchiveSuffix;
  return name;
}

}  // namespace kelvo::Communication::Common
