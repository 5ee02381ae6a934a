#include "EntryLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TestPaths.h"

namespace kelvo::test {
namespace {

template <class Function>
void Resolve(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  if (function == nullptr) throw std::runtime_error(std::string("export missing: ") + name);
}

EntryLibrary Load() {
  EntryLibrary library;
  void* raw = ::dlopen(EntryLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (raw == nullptr) throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
  library.handle = std::shared_ptr<void>(raw, [](void* h) { ::dlclose(h); });
#define KELVO_RESOLVE(name) Resolve(raw, #name, library.name);
  KELVO_RESOLVE(ReleaseResultString)
  KELVO_RESOLVE(KelvoLastErrorText)
  KELVO_RESOLVE(TokenExchangeOperation)
  KELVO_RESOLVE(ManageInvoiceOperation)
  KELVO_RESOLVE(ManageInvoiceOperationSingle)
  KELVO_RESOLVE(QueryInvoiceStatusOperation)
  KELVO_RESOLVE(ManageAnnulmentOperation)
  KELVO_RESOLVE(ManageAnnulmentOperationSingle)
  KELVO_RESOLVE(QueryTaxpayerOperation)
  KELVO_RESOLVE(KelvoV3Communicator_Create)
  KELVO_RESOLVE(KelvoV3Communicator_Destroy)
  KELVO_RESOLVE(KelvoV3Communicator_TokenExchangeOperation)
  KELVO_RESOLVE(KelvoV3Communicator_ManageInvoiceOperation)
  KELVO_RESOLVE(KelvoV3Communicator_QueryInvoiceStatusOperation)
  KELVO_RESOLVE(KelvoV3Communicator_ManageAnnulmentOperation)
  KELVO_RESOLVE(KelvoV3Communicator_QueryTaxpayerOperation)
  KELVO_RESOLVE(KelvoV3Communicator_QueryInvoiceDataOperation)
  KELVO_RESOLVE(KelvoV3Communicator_QueryInvoiceDigestOperation)
  KELVO_RESOLVE(KelvoV3Communicator_Logger)
  KELVO_RESOLVE(KelvoV3Communicator_GenerateSHA512Hash)
  KELVO_RESOLVE(KelvoV3Communicator_GenerateSHA3_512Hash)
  KELVO_RESOLVE(KelvoV3Communicator_GenerateRequestSignature)
  KELVO_RESOLVE(KelvoV3Communicator_GenerateRequestSignatureWithItems)
#undef KELVO_RESOLVE
  return library;
}

}  // namespace

const std::vector<std::string>& EntryLibrary::PublicNames() {
  static const std::vector<std::string> names = {
      "ReleaseResultString",
      "KelvoLastErrorText",
      "TokenExchangeOperation",
      "ManageInvoiceOperation",
      "ManageInvoiceOperationSingle",
      "QueryInvoiceStatusOperation",
      "ManageAnnulmentOperation",
      "ManageAnnulmentOperationSingle",
      "QueryTaxpayerOperation",
      "KelvoV3Communicator_Create",
      "KelvoV3Communicator_Destroy",
      "KelvoV3Communicator_TokenExchangeOperation",
      "KelvoV3Communicator_ManageInvoiceOperation",
      "KelvoV3Communicator_QueryInvoiceStatusOperation",
      "KelvoV3Communicator_ManageAnnulmentOperation",
      "KelvoV3Communicator_QueryTaxpayerOperation",
      "KelvoV3Communicator_QueryInvoiceDataOperation",
      "KelvoV3Communicator_QueryInvoiceDigestOperation",
      "KelvoV3Communicator_Logger",
      "KelvoV3Communicator_GenerateSHA512Hash",
      "KelvoV3Communicator_GenerateSHA3_512Hash",
      "KelvoV3Communicator_GenerateRequestSignature",
      "KelvoV3Communicator_GenerateRequestSignatureWithItems",
  };
  return names;
}

std::filesystem::path EntryLibraryPath() { return BinaryDir() / "Kelvo.Communication.so"; }

const EntryLibrary& Library() {
  static const EntryLibrary library = Load();
  return library;
}

std::optional<std::string> Take(const EntryLibrary& library, char* result) {
  if (result == nullptr) return std::nullopt;
  std::string copy(result);
  library.ReleaseResultString(result);
  return copy;
}

std::optional<std::string> LastError(const EntryLibrary& library) {
  return Take(library, library.KelvoLastErrorText());
}

}  // namespace kelvo::test
