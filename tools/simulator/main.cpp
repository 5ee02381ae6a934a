// kelvo-simulator: a local stand-in for the Online Invoice System service's
// API 3.0, for tests and the demo. See README.md for the options.
#include <libxml/parser.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Control.h"
#include "Directory.h"
#include "Faults.h"
#include "HttpServer.h"
#include "Service.h"
#include "Tls.h"
#include "Xml.h"

namespace {

using namespace kelvo::simulator;

struct Options {
  int port = 0;
  int controlPort = 0;
  bool https = false;
  TlsOptions tls;
  std::optional<std::filesystem::path> users;
  std::optional<std::filesystem::path> schemas;
  Fault fault = Fault::None;
  long delayMs = 0;
  ServiceSettings service;
};

void PrintHelp() {
  std::cout <<
      "usage: kelvo-simulator [options]\n"
      "  --port N                   service port on 127.0.0.1 (0, the default: any free port)\n"
      "  --control-port N           control port, plain HTTP (default: any free port)\n"
      "  --https                    serve the service over TLS (default: plain HTTP)\n"
      "  --cert PEM --key PEM       certificate chain and key to serve (default: a generated one)\n"
      "  --write-cert PATH          write the generated certificate there (a CA bundle for clients)\n"
      "  --tls-min V, --tls-max V   TLS version range: 1.1, 1.2 or 1.3\n"
      "  --users FILE               technical users and taxpayers (format in README.md)\n"
      "  --schemas DIR              validate requests against DIR/api-3.0/all.xsd\n"
      "  --fault MODE               start in this fault mode (see below)\n"
      "  --delay-ms N               wait N ms before every service answer\n"
      "  --done-after-queries N     status queries answered RECEIVED before the outcome (default 1)\n"
      "  --done-after-ms N          instead: the outcome is ready N ms after the submission\n"
      "  --token-validity-seconds N exchange token lifetime (default 300)\n"
      "  --huge-body-bytes N        announced size of the huge-body modes (default 314572800)\n"
      "  --verbose                  one line per service request on standard error\n"
      "On start it prints one line: LISTENING <service URL> CONTROL <control URL>\n"
      "Fault modes:";
  for (const auto name : AllFaultNames()) std::cout << ' ' << name;
  std::cout << '\n';
}

long Number(const std::string& option, const std::string& text) {
  try {
    std::size_t used = 0;
    const long value = std::stol(text, &used);
    if (used == text.size() && value >= 0) return value;
  } catch (const std::exception&) {
  }
  throw std::runtime_error(option + " expects a non-negative number, not \"" + text + "\"");
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::runtime_error(option + " needs a value");
      return args[++i];
    };
    if (option == "--help" || option == "-h") {
      PrintHelp();
      std::exit(0);
    } else if (option == "--port") {
      options.port = static_cast<int>(Number(option, value()));
    } else if (option == "--control-port") {
      options.controlPort = static_cast<int>(Number(option, value()));
    } else if (option == "--https") {
      options.https = true;
    } else if (option == "--http") {
      options.https = false;
    } else if (option == "--cert") {
      options.tls.certificate = value();
    } else if (option == "--key") {
      options.tls.key = value();
    } else if (option == "--write-cert") {
      options.tls.writeCertificate = value();
    } else if (option == "--tls-min") {
      options.tls.minVersion = value();
    } else if (option == "--tls-max") {
      options.tls.maxVersion = value();
    } else if (option == "--users") {
      options.users = value();
    } else if (option == "--schemas") {
      options.schemas = value();
    } else if (option == "--fault") {
      const std::string& name = value();
      const auto fault = ParseFault(name);
      if (!fault) throw std::runtime_error("unknown fault mode \"" + name + "\" (see --help)");
      options.fault = *fault;
    } else if (option == "--delay-ms") {
      options.delayMs = Number(option, value());
    } else if (option == "--done-after-queries") {
      options.service.doneAfterQueries = static_cast<int>(Number(option, value()));
    } else if (option == "--done-after-ms") {
      options.service.doneAfterMs = Number(option, value());
    } else if (option == "--token-validity-seconds") {
      options.service.tokenValiditySeconds = Number(option, value());
    } else if (option == "--huge-body-bytes") {
      options.service.hugeBodyBytes = static_cast<std::uint64_t>(Number(option, value()));
    } else if (option == "--verbose") {
      options.service.verbose = true;
    } else {
      throw std::runtime_error("unknown option \"" + option + "\" (see --help)");
    }
  }
  return options;
}

int Run(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);

  // Every thread started from here on inherits the blocked signals; the main
  // thread alone receives them, with sigwait, and shuts everything down.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_DFL);  // an inherited "ignore" would swallow them
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  xmlInitParser();
  Directory directory = options.users ? Directory::Load(*options.users) : Directory();
  std::shared_ptr<const SchemaSet> schemas;
  if (options.schemas) schemas = std::make_shared<const SchemaSet>(*options.schemas);
  std::unique_ptr<TlsContext> tls;
  if (options.https) tls = std::make_unique<TlsContext>(options.tls);

  FaultControl faults;
  faults.Set(options.fault);
  faults.delayMs = options.delayMs;
  Service service(std::move(directory), schemas, options.service, faults);

  HttpServer::Settings serviceSettings;
  serviceSettings.port = options.port;
  serviceSettings.tls = tls ? tls->Get() : nullptr;
  HttpServer serviceListener(serviceSettings, [&service](const HttpRequest& request) { return service.Handle(request); });

  const pid_t self = getpid();
  Control control(service, faults, serviceListener, [self] { kill(self, SIGTERM); });
  HttpServer::Settings controlSettings;
  controlSettings.port = options.controlPort;
  HttpServer controlListener(controlSettings, [&control](const HttpRequest& request) { return control.Handle(request); });

  serviceListener.Start();
  controlListener.Start();
  std::printf("LISTENING %s://127.0.0.1:%d CONTROL http://127.0.0.1:%d\n", options.https ? "https" : "http",
              serviceListener.Port(), controlListener.Port());
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  serviceListener.Stop();
  controlListener.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "kelvo-simulator: " << failure.what() << '\n';
    return 2;
  }
}
