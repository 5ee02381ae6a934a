#pragma once
// The process-wide settings of the HTTP client that hold for every exchange
// with the service. They are applied once per process by
// ServicePointManagerSetter::Initiate() (the first construction of any
// communicator) and never change afterwards; the HTTP transport reads them
// for every request.
namespace kelvo::Communication {

enum class SecurityProtocol {
  Tls12,  // TLS 1.2 only: no other TLS or SSL version is offered
};

struct TransportSettings {
  // Announce a request body with "Expect: 100-continue" and wait for the
  // service's interim answer before sending it.
  bool expect100Continue = false;
  SecurityProtocol securityProtocol = SecurityProtocol::Tls12;
  // How many connections to one service host may be open at once
  // (0 until the settings are applied).
  int connectionLimitPerHost = 0;
  // False until ServicePointManagerSetter::Initiate() has run.
  bool applied = false;
};

// The settings in force; safe to call from any thread at any time. Before the
// first ServicePointManagerSetter::Initiate() this is the not-applied state
// (applied == false, the other fields at their defaults above).
const TransportSettings& CurrentTransportSettings();

}  // namespace kelvo::Communication
