// Failure descriptions of the libcurl transport.
#include "platform/linux/CurlFailure.h"

#include <system_error>

namespace kelvo::platform::curl {

namespace {

bool IsTlsFailure(CURLcode code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

// The name of the cause, in the words of an HTTP client rather than libcurl's.
std::string_view CauseName(CURLcode code) {
  if (IsTlsFailure(code)) return "SecureChannelFailure";
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "NameResolutionFailure";
    case CURLE_COULDNT_CONNECT:
      return "ConnectFailure";
    case CURLE_OPERATION_TIMEDOUT:
      return "Timeout";
    case CURLE_SEND_ERROR:
      return "SendFailure";
    case CURLE_RECV_ERROR:
      return "ReceiveFailure";
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return "ConnectionClosed";
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // the address was checked; here the peer spoke no HTTP
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_BAD_CONTENT_ENCODING:
      return "ProtocolError";
    case CURLE_OUT_OF_MEMORY:
      return "OutOfMemory";
    default:
      return "TransportFailure";
  }
}

// Where the failure arose, by how far the exchange had come.
std::string Stage(const CurlTransferState& state) {
  if (state.headersComplete) return "reading the answer body from " + state.hostPort;
  if (state.code == CURLE_COULDNT_RESOLVE_HOST || state.code == CURLE_COULDNT_RESOLVE_PROXY) {
    return "resolving the host of " + state.hostPort;
  }
  if (IsTlsFailure(state.code)) return "TLS handshake with " + state.hostPort;
  if (!state.connected) return "connecting to " + state.hostPort;
  if (!state.requestSent) return "sending the request to " + state.hostPort;
  return "waiting for the answer of " + state.hostPort;
}

// The innermost message: the system error where one is behind the failure,
// libcurl's detailed message otherwise.
std::string InnermostMessage(const CurlTransferState& state, std::string_view curlMessage) {
  const bool systemLevel = state.code == CURLE_COULDNT_CONNECT || state.code == CURLE_SEND_ERROR ||
                           state.code == CURLE_RECV_ERROR;
  if (systemLevel && state.osErrno != 0) {
    return std::error_code(static_cast<int>(state.osErrno), std::system_category()).message();
  }
  return std::string(curlMessage);
}

}  // namespace

HttpFailure DescribeCurlFailure(const CurlTransferState& state) {
  if (state.bodyTooLarge) {
    return HttpFailure{HttpFailureKind::Body,
                       "AnswerTooLarge: the answer body from " + state.hostPort +
                           " exceeds the limit of " + std::to_string(state.maxResponseBytes) +
                           " bytes"};
  }
  if (state.outOfMemory) {
    return HttpFailure{HttpFailureKind::Body,
                       "OutOfMemory: the answer body from " + state.hostPort + " could not be stored"};
  }
  const std::string_view curlMessage =
      state.errorBuffer.empty() ? std::string_view(curl_easy_strerror(state.code))
                                : std::string_view(state.errorBuffer);
  const std::string innermost = InnermostMessage(state, curlMessage);
  std::string description = std::string(CauseName(state.code)) + ": " + innermost + " (" +
                            Stage(state) + "; curl error " +
                            std::to_string(static_cast<int>(state.code));
  if (innermost != curlMessage) description += ": " + std::string(curlMessage);
  description += ")";
  return HttpFailure{state.headersComplete ? HttpFailureKind::Body : HttpFailureKind::Transport,
                     description};
}

}  // namespace kelvo::platform::curl
