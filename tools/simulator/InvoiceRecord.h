#pragma once
// What the simulator keeps of an invoice it accepted: the submitted document
// as it came, and the few facts the invoice queries filter and report on.
#include <optional>
#include <string>

#include "Time.h"
#include "Xml.h"

namespace kelvo::simulator {

struct InvoiceRecord {
  std::string invoiceNumber;
  std::string invoiceIssueDate;
  std::optional<std::string> completenessIndicator;
  std::string supplierTaxNumber;
  std::optional<std::string> supplierGroupMemberTaxNumber;
  std::string supplierName;
  std::optional<std::string> customerTaxNumber;
  std::optional<std::string> customerGroupMemberTaxNumber;
  std::optional<std::string> customerName;
  std::string invoiceCategory = "NORMAL";
  std::optional<std::string> paymentMethod;
  std::optional<std::string> paymentDate;
  std::optional<std::string> invoiceAppearance;
  std::optional<std::string> invoiceDeliveryDate;
  std::optional<std::string> currency;
  std::optional<std::string> invoiceNetAmount;
  std::optional<std::string> invoiceNetAmountHUF;
  std::optional<std::string> invoiceVatAmount;
  std::optional<std::string> invoiceVatAmountHUF;
  std::optional<std::string> originalInvoiceNumber;
  std::optional<std::string> modificationIndex;

  // Where it came from.
  std::string operation;  // CREATE, MODIFY or STORNO
  std::string transactionId;
  int index = 1;
  std::string insCusUser;
  Clock::time_point insDate;
  std::string invoiceDataBase64;  // exactly as submitted
};

// Reads the facts from an InvoiceData document (namespace .../OSA/3.0/data);
// fields the document lacks keep their defaults.
InvoiceRecord ReadInvoice(const xmlNode* invoiceData);

}  // namespace kelvo::simulator
