// The message reader and writer against libxml2's own parse of the same text:
// a digest query answer with 100 digests and an invoice data answer carrying
// a 10 MiB invoice. "ReadWrite" reads the answer text as its class and writes
// it back (the pipeline's last two steps); "Libxml2Parse" is xmlReadMemory
// building libxml2's tree of the same text. The peak_x counters give the peak
// of heap memory (ours and libxml2's) during one read and write, the text
// itself included, in multiples of the text size.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

#include "api/v3/Messages.h"
#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "api/xml/PrettyPrinter.h"

// ---- heap accounting: every operator new and every libxml2 allocation ------
namespace {
std::atomic<std::size_t> gCurrent{0};
std::atomic<std::size_t> gPeak{0};

void Count(void* p) {
  if (p == nullptr) return;
  const std::size_t now = gCurrent.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
}
void Uncount(void* p) {
  if (p != nullptr) gCurrent.fetch_sub(malloc_usable_size(p));
}
void* CountedMalloc(std::size_t size) {
  void* p = std::malloc(size);
  Count(p);
  return p;
}
void CountedFree(void* p) {
  Uncount(p);
  std::free(p);
}
void* CountedRealloc(void* p, std::size_t size) {
  Uncount(p);
  void* q = std::realloc(p, size);
  Count(q != nullptr ? q : p);
  return q;
}
char* CountedStrdup(const char* s) {
  const std::size_t n = std::strlen(s) + 1;
  auto* p = static_cast<char*>(CountedMalloc(n));
  if (p != nullptr) std::memcpy(p, s, n);
  return p;
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = CountedMalloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }

namespace {

namespace v3 = kelvo::api::v3;
namespace xml = kelvo::api::xml;

void FillEnvelope(v3::BasicOnlineInvoiceResponseType& answer) {
  answer.header.emplace();
  answer.header->requestId = "RID20240102030405";
  answer.header->timestamp = xml::DateTime::FromParts(2024, 1, 2, 3, 4, 5, 6'780'000, xml::DateTimeKind::Utc);
  answer.header->requestVersion = "3.0";
  answer.header->headerVersion = "1.0";
  answer.result.emplace();
  answer.result->funcCode = v3::FunctionCodeType::OK;
  answer.software.emplace();
  answer.software->softwareId = "HU12345678-0000001";
  answer.software->softwareName = "Kelvo";
  answer.software->softwareMainVersion = "1.0";
  answer.software->softwareDevName = "Kelvo";
  answer.software->softwareDevContact = "dev@example.test";
  answer.software->softwareDevCountryCode = "HU";
  answer.software->softwareDevTaxNumber = "12345678";
}

std::string DigestAnswerText() {
  v3::QueryInvoiceDigestResponse answer;
  FillEnvelope(answer);
  auto& result = answer.invoiceDigestResult.emplace();
  result.currentPage = 1;
  result.availablePage = 3;
  auto& digests = result.invoiceDigest.emplace();
  for (int i = 0; i < 100; ++i) {
    auto& d = digests.emplace_back();
    d.invoiceNumber = "INV/2024/" + std::to_string(100000 + i);
    d.invoiceIssueDate = xml::DateTime::FromParts(2024, 1, 1 + i % 28, 0, 0, 0, 0, xml::DateTimeKind::Unspecified);
    d.supplierTaxNumber = "12345678";
    d.supplierName = "Supplier Kft. & Partners";
    d.customerTaxNumber = "87654321";
    d.customerName = "Customer Zrt.";
    d.paymentMethodSpecified = true;
    d.paymentDate = d.invoiceIssueDate;
    d.paymentDateSpecified = true;
    d.currency = "HUF";
    d.invoiceNetAmount = xml::Decimal::Parse("125000.50");
    d.invoiceNetAmountSpecified = true;
    d.invoiceNetAmountHUF = xml::Decimal::Parse("125000.50");
    d.invoiceNetAmountHUFSpecified = true;
    d.invoiceVatAmount = xml::Decimal::Parse("33750.14");
    d.invoiceVatAmountSpecified = true;
    d.invoiceVatAmountHUF = xml::Decimal::Parse("33750.14");
    d.invoiceVatAmountHUFSpecified = true;
    d.transactionId = "2ABCDEFGHIJKLMNO";
    d.index = 1;
    d.indexSpecified = true;
    d.insDate = xml::DateTime::FromParts(2024, 1, 2, 10, 11, 12, 1'230'000, xml::DateTimeKind::Utc);
    d.completenessIndicator = false;
    d.completenessIndicatorSpecified = true;
  }
  return xml::WriteMessage(answer);
}

std::string DataAnswerText() {
  v3::QueryInvoiceDataResponse answer;
  FillEnvelope(answer);
  auto& result = answer.invoiceDataResult.emplace();
  std::vector<std::uint8_t> invoice(10u << 20);
  std::mt19937 random(42);
  for (auto& byte : invoice) byte = static_cast<std::uint8_t>(random());
  result.invoiceData = std::move(invoice);
  result.compressedContentIndicator = true;
  result.auditData.emplace();
  result.auditData->insCusUser = "user";
  result.auditData->transactionId = "2ABCDEFGHIJKLMNO";
  return xml::WriteMessage(answer);
}

// The same answer with its base64 text broken into lines of 76 characters
// by CR LF, as some senders write it: the parser then delivers the text in
// many pieces, which must cost no more than one piece per line.
std::string DataAnswerWithLineBreaksText() {
  const std::string text = DataAnswerText();
  const std::size_t start = text.find("invoiceData>") + std::string_view("invoiceData>").size();
  const std::size_t end = text.find('<', start);
  std::string broken = text.substr(0, start);
  for (std::size_t at = start; at < end; at += 76) {
    broken.append(text, at, std::min<std::size_t>(76, end - at)).append("\r\n");
  }
  return broken.append(text, end);
}

const std::string& Text(int which) {
  static const std::string digest = DigestAnswerText();
  static const std::string data = DataAnswerText();
  static const std::string broken = DataAnswerWithLineBreaksText();
  return which == 0 ? digest : which == 1 ? data : broken;
}

template <class Answer>
void BM_ReadWrite(benchmark::State& state) {
  const std::string& text = Text(static_cast<int>(state.range(0)));
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = gCurrent.load();
    gPeak.store(base);
    auto answer = xml::ReadMessage<Answer>(text);
    std::string written = xml::WriteMessage(*answer);
    benchmark::DoNotOptimize(written.data());
    peak = std::max(peak, gPeak.load() - base);
    if (written.size() != text.size()) state.SkipWithError("the text changed on the way");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
  state.counters["peak_x"] = static_cast<double>(peak + text.size()) / static_cast<double>(text.size());
}

template <class Answer>
void BM_Read(benchmark::State& state) {
  const std::string& text = Text(static_cast<int>(state.range(0)));
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = gCurrent.load();
    gPeak.store(base);
    benchmark::DoNotOptimize(xml::ReadMessage<Answer>(text));
    peak = std::max(peak, gPeak.load() - base);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["peak_x"] = static_cast<double>(peak + text.size()) / static_cast<double>(text.size());
}

template <class Answer>
void BM_Write(benchmark::State& state) {
  const std::string& text = Text(static_cast<int>(state.range(0)));
  const auto answer = xml::ReadMessage<Answer>(text);
  for (auto _ : state) benchmark::DoNotOptimize(xml::WriteMessage(*answer));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Libxml2Parse(benchmark::State& state) {
  const std::string& text = Text(static_cast<int>(state.range(0)));
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = gCurrent.load();
    gPeak.store(base);
    // HUGE only because libxml2's own tree refuses a text node over 10 MB otherwise.
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    if (doc == nullptr) state.SkipWithError("libxml2 failed");
    xmlFreeDoc(doc);
    peak = std::max(peak, gPeak.load() - base);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["peak_x"] = static_cast<double>(peak + text.size()) / static_cast<double>(text.size());
}

void BM_PrettyPrint(benchmark::State& state) {
  const std::string& text = Text(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(xml::PrettyPrint(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Argument 0: QueryInvoiceDigestResponse with 100 digests; 1: QueryInvoiceDataResponse, 10 MiB invoice;
// 2: the same with its base64 text in lines of 76 characters.
BENCHMARK(BM_Libxml2Parse)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWrite<v3::QueryInvoiceDigestResponse>)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWrite<v3::QueryInvoiceDataResponse>)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<v3::QueryInvoiceDigestResponse>)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<v3::QueryInvoiceDataResponse>)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write<v3::QueryInvoiceDigestResponse>)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write<v3::QueryInvoiceDataResponse>)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrettyPrint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  xmlMemSetup(CountedFree, CountedMalloc, CountedRealloc, CountedStrdup);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
