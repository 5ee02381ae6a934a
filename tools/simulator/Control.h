#pragma once
// The control endpoint, on a listener of its own (plain HTTP on loopback) so
// that tests can switch fault modes and read counters without adding
// connections or requests to the service listener they measure:
//   GET  /control/health          "ok"
//   GET  /control/stats           key=value lines
//   POST /control/reset-stats     counters back to zero
//   POST /control/fault           body "MODE" or "MODE COUNT"
//   POST /control/delay           body: milliseconds before every service answer
//   GET  /control/last-request    the last service request's body, as received
//   GET  /control/last-headers    its request line and headers
//   POST /control/stop            the simulator shuts down
#include <functional>

#include "Faults.h"
#include "HttpServer.h"
#include "Service.h"

namespace kelvo::simulator {

class Control {
 public:
  Control(Service& service, FaultControl& faults, const HttpServer& serviceListener, std::function<void()> stop);
  HttpReply Handle(const HttpRequest& request);

 private:
  Service& service_;
  FaultControl& faults_;
  const HttpServer& listener_;
  std::function<void()> stop_;
  std::mutex mutex_;
  std::uint64_t connectionsBase_ = 0;
  std::uint64_t requestsBase_ = 0;
  std::uint64_t tlsFailuresBase_ = 0;
};

}  // namespace kelvo::simulator
