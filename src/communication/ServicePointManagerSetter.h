#pragma once
// Applies the process-wide transport settings (TransportSettings.h): expect
// continue on, TLS 1.2 only, 9999 connections per host. The first call of
// Initiate() in the process applies them; later calls, also concurrent ones,
// leave them untouched.
#include <atomic>

#include "communication/TransportSettings.h"

namespace kelvo::Communication {

class ServicePointManagerSetter {
 public:
  static constexpr int kConnectionLimitPerHost = 9999;

  // Applies the settings the first time it is called in the process and does
  // nothing at later calls. Safe under concurrent first calls: no caller
  // returns before the settings are in force.
  static void Initiate();

  // Whether the settings have been applied in this process (instance is set).
  static bool Applied();

  ServicePointManagerSetter(const ServicePointManagerSetter&) = delete;
  ServicePointManagerSetter& operator=(const ServicePointManagerSetter&) = delete;

 protected:
  // Applies the three settings, in the order expect-continue, security
  // protocol, connection limit.
  ServicePointManagerSetter();

 private:
  // The one instance, set once the settings are applied; it lives as long as
  // the process.
  static std::atomic<const ServicePointManagerSetter*> instance;
};

}  // namespace kelvo::Communication
