#include "InvoiceRecord.h"

namespace kelvo::simulator {
namespace {

std::optional<std::string> TaxpayerIdOf(const xmlNode* taxNumber) {
  return ChildText(taxNumber, kBaseNs, "taxpayerId");
}

}  // namespace

InvoiceRecord ReadInvoice(const xmlNode* invoiceData) {
  InvoiceRecord record;
  record.invoiceNumber = ChildText(invoiceData, kDataNs, "invoiceNumber").value_or("");
  record.invoiceIssueDate = ChildText(invoiceData, kDataNs, "invoiceIssueDate").value_or("");
  record.completenessIndicator = ChildText(invoiceData, kDataNs, "completenessIndicator");

  const xmlNode* main = Child(invoiceData, kDataNs, "invoiceMain");
  const xmlNode* invoice = Child(main, kDataNs, "invoice");
  if (invoice == nullptr) invoice = Child(Child(main, kDataNs, "batchInvoice"), kDataNs, "invoice");  // first of a batch

  const xmlNode* reference = Child(invoice, kDataNs, "invoiceReference");
  record.originalInvoiceNumber = ChildText(reference, kDataNs, "originalInvoiceNumber");
  record.modificationIndex = ChildText(reference, kDataNs, "modificationIndex");

  const xmlNode* head = Child(invoice, kDataNs, "invoiceHead");
  const xmlNode* supplier = Child(head, kDataNs, "supplierInfo");
  record.supplierTaxNumber = TaxpayerIdOf(Child(supplier, kDataNs, "supplierTaxNumber")).value_or("");
  record.supplierGroupMemberTaxNumber = TaxpayerIdOf(Child(supplier, kDataNs, "groupMemberTaxNumber"));
  record.supplierName = ChildText(supplier, kDataNs, "supplierName").value_or("");

  const xmlNode* customer = Child(head, kDataNs, "customerInfo");
  const xmlNode* customerTaxNumber = Child(Child(customer, kDataNs, "customerVatData"), kDataNs, "customerTaxNumber");
  record.customerTaxNumber = TaxpayerIdOf(customerTaxNumber);
  record.customerGroupMemberTaxNumber = TaxpayerIdOf(Child(customerTaxNumber, kBaseNs, "groupMemberTaxNumber"));
  record.customerName = ChildText(customer, kDataNs, "customerName");

  const xmlNode* detail = Child(head, kDataNs, "invoiceDetail");
  if (auto category = ChildText(detail, kDataNs, "invoiceCategory")) record.invoiceCategory = *category;
  record.paymentMethod = ChildText(detail, kDataNs, "paymentMethod");
  record.paymentDate = ChildText(detail, kDataNs, "paymentDate");
  record.invoiceAppearance = ChildText(detail, kDataNs, "invoiceAppearance");
  record.invoiceDeliveryDate = ChildText(detail, kDataNs, "invoiceDeliveryDate");
  record.currency = ChildText(detail, kDataNs, "currencyCode");

  const xmlNode* summary = Child(invoice, kDataNs, "invoiceSummary");
  auto amount = [&](const char* name) { return Text(Descendant(summary, kDataNs, name)); };
  record.invoiceNetAmount = amount("invoiceNetAmount");
  record.invoiceNetAmountHUF = amount("invoiceNetAmountHUF");
  record.invoiceVatAmount = amount("invoiceVatAmount");
  record.invoiceVatAmountHUF = amount("invoiceVatAmountHUF");
  return record;
}

}  // namespace kelvo::simulator
