#include "communication/ServicePointManagerSetter.h"

#include <mutex>

namespace kelvo::Communication {

namespace {

// Written only by the constructor of ServicePointManagerSetter, under the
// once-guard of Initiate(); read afterwards by every exchange.
TransportSettings& MutableSettings() {
  static TransportSettings settings;
  return settings;
}

std::once_flag& ApplyOnce() {
  static std::once_flag once;
  return once;
}

}  // namespace

std::atomic<const ServicePointManagerSetter*> ServicePointManagerSetter::instance{nullptr};

ServicePointManagerSetter::ServicePointManagerSetter() {
  TransportSettings& settings = MutableSettings();
  settings.expect100Continue = true;
  settings.securityProtocol = SecurityProtocol::Tls12;
  settings.connectionLimitPerHost = kConnectionLimitPerHost;
  settings.applied = true;
}

void ServicePointManagerSetter::Initiate() {
  if (instance.load(std::memory_order_acquire) != nullptr) {
    return;
  }
  // call_once makes a concurrent first caller wait until the settings are in
  // force; the instance is kept for the life of the process, as the settings.
  std::call_once(ApplyOnce(), [] {
    static const ServicePointManagerSetter setter;
    instance.store(&setter, std::memory_order_release);
  });
}

bool ServicePointManagerSetter::Applied() {
  return instance.load(std::memory_order_acquire) != nullptr;
}

const TransportSettings& CurrentTransportSettings() {
  // The acquire load pairs with the release store in Initiate(), so a reader
  // sees either the untouched defaults or the complete applied values.
  static const TransportSettings notApplied;
  return ServicePointManagerSetter::Applied() ? MutableSettings() : notApplied;
}

}  // namespace kelvo::Communication
