#include "Control.h"

#include <sstream>

namespace kelvo::simulator {
namespace {

HttpReply Text(int status, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.contentType = "text/plain;charset=UTF-8";
  reply.body = std::move(body);
  return reply;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

Control::Control(Service& service, FaultControl& faults, const HttpServer& serviceListener, std::function<void()> stop)
    : service_(service), faults_(faults), listener_(serviceListener), stop_(std::move(stop)) {}

HttpReply Control::Handle(const HttpRequest& request) {
  const std::string path = request.target.substr(0, request.target.find('?'));
  const bool post = request.method == "POST";
  if (path == "/control/health") return Text(200, "ok\n");
  if (path == "/control/stats") {
    const auto& counters = listener_.Counters();
    std::ostringstream out;
    std::lock_guard lock(mutex_);
    out << "connections=" << counters.connections - connectionsBase_ << '\n'
        << "openConnections=" << counters.openConnections << '\n'
        << "requests=" << counters.requests - requestsBase_ << '\n'
        << "tlsHandshakeFailures=" << counters.tlsHandshakeFailures - tlsFailuresBase_ << '\n'
        << "fault=" << FaultName(faults_.Current()) << '\n'
        << "delayMs=" << faults_.delayMs << '\n'
        << service_.StatsText();
    return Text(200, out.str());
  }
  if (path == "/control/reset-stats" && post) {
    std::lock_guard lock(mutex_);
    connectionsBase_ = listener_.Counters().connections;
    requestsBase_ = listener_.Counters().requests;
    tlsFailuresBase_ = listener_.Counters().tlsHandshakeFailures;
    service_.ResetStats();
    return Text(200, "ok\n");
  }
  if (path == "/control/fault" && post) {
    std::istringstream words(request.body);
    std::string name;
    long count = -1;
    words >> name;
    if (!(words >> count)) count = -1;
    const auto fault = ParseFault(name);
    if (!fault) return Text(400, "unknown fault mode \"" + name + "\"\n");
    faults_.Set(*fault, count);
    return Text(200, "ok\n");
  }
  if (path == "/control/delay" && post) {
    try {
      faults_.delayMs = std::stol(Trim(request.body));
    } catch (const std::exception&) {
      return Text(400, "expected a number of milliseconds\n");
    }
    return Text(200, "ok\n");
  }
  if (path == "/control/last-request" || path == "/control/last-headers") {
    const auto last = service_.LastRequest();
    if (!last) return Text(404, "no service request yet\n");
    if (path == "/control/last-request") {
      HttpReply reply = Text(200, last->body);
      reply.contentType = "application/octet-stream";
      return reply;
    }
    std::string out = last->method + " " + last->target + "\n";
    for (const auto& [key, value] : last->headers) out += key + ": " + value + "\n";
    return Text(200, out);
  }
  if (path == "/control/stop" && post) {
    stop_();
    return Text(200, "stopping\n");
  }
  return Text(404, "unknown control request " + request.method + " " + path + "\n");
}

}  // namespace kelvo::simulator
