#pragma once
// The built Kelvo.Communication.so, loaded with dlopen and its exports looked
// up with dlsym, exactly as a host program does. Nothing of the library is
// linked into the test itself.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Kelvo/Communication.h"

namespace kelvo::test {

struct EntryLibrary {
#define KELVO_ENTRY_FUNCTION(name) decltype(&::name) name = nullptr;
  KELVO_ENTRY_FUNCTION(ReleaseResultString)
  KELVO_ENTRY_FUNCTION(KelvoLastErrorText)
  KELVO_ENTRY_FUNCTION(TokenExchangeOperation)
  KELVO_ENTRY_FUNCTION(ManageInvoiceOperation)
  KELVO_ENTRY_FUNCTION(ManageInvoiceOperationSingle)
  KELVO_ENTRY_FUNCTION(QueryInvoiceStatusOperation)
  KELVO_ENTRY_FUNCTION(ManageAnnulmentOperation)
  KELVO_ENTRY_FUNCTION(ManageAnnulmentOperationSingle)
  KELVO_ENTRY_FUNCTION(QueryTaxpayerOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_Create)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_Destroy)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_TokenExchangeOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_ManageInvoiceOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_QueryInvoiceStatusOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_ManageAnnulmentOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_QueryTaxpayerOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_QueryInvoiceDataOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_QueryInvoiceDigestOperation)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_Logger)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_GenerateSHA512Hash)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_GenerateSHA3_512Hash)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_GenerateRequestSignature)
  KELVO_ENTRY_FUNCTION(KelvoV3Communicator_GenerateRequestSignatureWithItems)
#undef KELVO_ENTRY_FUNCTION

  // The names looked up above: everything the library may export.
  static const std::vector<std::string>& PublicNames();

  std::shared_ptr<void> handle;
};

std::filesystem::path EntryLibraryPath();

// The library, loaded once per test process; fails the calling test when it
// cannot be loaded or an export is missing.
const EntryLibrary& Library();

// Takes ownership of a result string: a copy of it, or nothing for null.
std::optional<std::string> Take(const EntryLibrary& library, char* result);

// The calling thread's last contained failure, or nothing.
std::optional<std::string> LastError(const EntryLibrary& library);

}  // namespace kelvo::test
