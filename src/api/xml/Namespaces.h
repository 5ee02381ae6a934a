#pragma once
// The namespace URIs of the service's schemas, and the XML Schema instance
// namespace of the type attribute.
#include <string_view>

namespace kelvo::api::xml::ns {

inline constexpr std::string_view Common = "http://schemas.nav.gov.hu/NTCA/1.0/common";

inline constexpr std::string_view ApiV3 = "http://schemas.nav.gov.hu/OSA/3.0/api";
inline constexpr std::string_view BaseV3 = "http://schemas.nav.gov.hu/OSA/3.0/base";
inline constexpr std::string_view DataV3 = "http://schemas.nav.gov.hu/OSA/3.0/data";
inline constexpr std::string_view AnnulV3 = "http://schemas.nav.gov.hu/OSA/3.0/annul";
inline constexpr std::string_view MetricsV3 = "http://schemas.nav.gov.hu/OSA/3.0/metrics";

inline constexpr std::string_view ApiV2 = "http://schemas.nav.gov.hu/OSA/2.0/api";
inline constexpr std::string_view DataV2 = "http://schemas.nav.gov.hu/OSA/2.0/data";
inline constexpr std::string_view AnnulV2 = "http://schemas.nav.gov.hu/OSA/2.0/annul";
inline constexpr std::string_view MetricsV2 = "http://schemas.nav.gov.hu/OSA/2.0/metrics";

inline constexpr std::string_view ApiV1 = "http://schemas.nav.gov.hu/OSA/1.0/api";
inline constexpr std::string_view DataV1 = "http://schemas.nav.gov.hu/OSA/1.0/data";

// No namespace: the own members of the TokenExchangeResponseExt classes.
inline constexpr std::string_view None = "";

inline constexpr std::string_view XmlSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

}  // namespace kelvo::api::xml::ns
