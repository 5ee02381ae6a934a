#pragma once
// Pieces of the request pipeline that do not depend on the communicator:
// how the answer classes of one operation are handed to the non-template
// part of the pipeline, and how the transport options follow from the
// process-wide transport settings and the optional extension keys of the
// configuration file.
//
// Extension keys (all optional):
//   caBundlePath           PEM file of CA certificates trusted instead of the
//                          system store; an empty value means the system store
//   connectTimeoutSeconds  limit for connecting, TLS handshake included
//                          (whole seconds, 1 or more; default 30)
//   requestTimeoutSeconds  limit for the whole exchange, so that a silent peer
//                          cannot hold the caller's thread for ever (whole
//                          seconds, 1 or more; default 100)
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "api/xml/MessageObject.h"
#include "api/xml/MemberTable.h"
#include "communication/ConfigurationFile.h"
#include "platform/HttpTransport.h"

namespace kelvo::Communication::Common {

inline constexpr std::string_view kCaBundlePathKey = "caBundlePath";
inline constexpr std::string_view kConnectTimeoutSecondsKey = "connectTimeoutSeconds";
inline constexpr std::string_view kRequestTimeoutSecondsKey = "requestTimeoutSeconds";
inline constexpr long kDefaultConnectTimeoutSeconds = 30;
inline constexpr long kDefaultRequestTimeoutSeconds = 100;

// The largest answer body the pipeline reads; a larger one is a failure of the
// operation, never an allocation of its size.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{256} * 1024 * 1024;

// A failure inside the pipeline that ends the operation with an
// operation-failure entry (a body that cannot be read, an answer of no
// expected class, an address that cannot be used...).
class PipelineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The three classes an answer of one operation may be, in the order tried:
// the success class for a 2xx status, then the exception class and the error
// class for any other status.
struct AnswerClasses {
  const api::xml::ClassInfo* success;
  const api::xml::ClassInfo* exception;
  const api::xml::ClassInfo* error;
};

template <class U, class ExceptionResp, class ErrorResp>
AnswerClasses AnswerClassesOf() {
  static_assert(std::is_base_of_v<api::xml::MessageObject, U> &&
                    std::is_base_of_v<api::xml::MessageObject, ExceptionResp> &&
                    std::is_base_of_v<api::xml::MessageObject, ErrorResp>,
                "answers are message classes");
  return AnswerClasses{&U::Info(), &ExceptionResp::Info(), &ErrorResp::Info()};
}

// The transport options of one exchange: the process-wide transport settings
// (expect-continue, TLS 1.2 only, connections per host) plus the extension
// keys above. Throws ConfigurationError naming the key when a present value
// is not usable.
platform::HttpTransportOptions TransportOptionsFrom(const SettingsCollection& settings);

}  // namespace kelvo::Communication::Common
