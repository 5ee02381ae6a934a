#pragma once
// Scripted misbehaviour for tests: each mode produces one row of the client
// pipeline's failure table. A mode holds until it is changed, or for a given
// number of service requests after which the simulator behaves again.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::simulator {

enum class Fault {
  None,
  Error500GeneralError,      // 500, readable GeneralErrorResponse
  Error400GeneralException,  // 400, readable GeneralExceptionResponse
  Error500Empty,             // 500, empty body
  Error500Html,              // 500, an HTML page
  OkGeneralError,            // 200, but a GeneralErrorResponse body
  OkNotXml,                  // 200, a body that is not XML
  OkBomDeclaration,          // 200, the real answer after a byte-order mark and a declaration
  OkNoDeclaration,           // 200, the real answer without an XML declaration
  OkUtf16Bom,                // 200, the real answer in UTF-16LE after its byte-order mark
  OkMisleadingCharset,       // 200, the real answer (UTF-8) announced as ISO-8859-2
  OkWrongRoot,               // 200, the real answer under a root of another name
  Chunked,                   // the real answer, chunked, no Content-Length
  NoContentLength,           // the real answer, no Content-Length, ended by closing
  ResetBeforeStatus,         // connection reset instead of an answer
  CloseBeforeStatus,         // connection closed instead of an answer
  Silent,                    // no answer ever
  TruncatedBody,             // Content-Length longer than the bytes sent, then close
  HugeBody,                  // an endless-looking body with a huge Content-Length
  HugeBodyChunked,           // the same, chunked
};

std::optional<Fault> ParseFault(std::string_view name);
std::string_view FaultName(Fault fault);
std::vector<std::string_view> AllFaultNames();

class FaultControl {
 public:
  // `count` < 0: until changed; otherwise for that many service requests.
  void Set(Fault fault, long count = -1);
  // The fault for the request now arriving; counts it down.
  Fault Take();
  Fault Current() const;

  std::atomic<long> delayMs{0};  // before every service answer

 private:
  mutable std::mutex mutex_;
  Fault fault_ = Fault::None;
  long remaining_ = -1;
};

}  // namespace kelvo::simulator
