#pragma once
// Turns a failed libcurl transfer into the transport's failure value: which
// kind it is for the pipeline (no answer at all, or a body that did not
// arrive), and a readable description of the innermost cause with where it
// arose.
#include <curl/curl.h>

#include <cstddef>
#include <string>

#include "platform/HttpTransport.h"

namespace kelvo::platform::curl {

// What the transfer had reached when it ended.
struct CurlTransferState {
  CURLcode code = CURLE_OK;
  std::string errorBuffer;  // libcurl's detailed message, may be empty
  long osErrno = 0;         // the system error behind it, 0 when none
  bool connected = false;   // a connection was established (or reused)
  bool requestSent = false; // the request, body included, was written
  bool headersComplete = false;  // the final status line and headers arrived
  bool bodyTooLarge = false;     // the body outgrew maxResponseBytes
  bool outOfMemory = false;      // storing the answer failed
  std::size_t maxResponseBytes = 0;
  std::string hostPort;     // "host:port" of the address
};

HttpFailure DescribeCurlFailure(const CurlTransferState& state);

}  // namespace kelvo::platform::curl
