#include "support/ApiSchema.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <stdexcept>

#include "support/TestPaths.h"

namespace kelvo::test {
namespace {

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

DocPtr ParseText(std::string_view text) {
  return DocPtr(xmlReadMemory(text.data(), static_cast<int>(text.size()), "message.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

void CollectErrors(void* context, const xmlError* error) {
  auto* out = static_cast<std::string*>(context);
  if (error != nullptr && error->message != nullptr) {
    *out += "line " + std::to_string(error->line) + ": " + error->message;
  }
}

}  // namespace

struct ApiSchema::Impl {
  xmlSchemaPtr schema = nullptr;
  ~Impl() {
    if (schema != nullptr) xmlSchemaFree(schema);
  }
};

ApiSchema::ApiSchema(const std::filesystem::path& allXsd) : impl_(std::make_unique<Impl>()) {
  xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(allXsd.string().c_str());
  if (parser == nullptr) throw std::runtime_error("cannot open schema " + allXsd.string());
  impl_->schema = xmlSchemaParse(parser);
  xmlSchemaFreeParserCtxt(parser);
  if (impl_->schema == nullptr) throw std::runtime_error("cannot parse schema " + allXsd.string());
}

ApiSchema::~ApiSchema() = default;

std::string ApiSchema::Validate(std::string_view document) const {
  DocPtr doc = ParseText(document);
  if (!doc) return "not well-formed XML";
  xmlSchemaValidCtxtPtr ctxt = xmlSchemaNewValidCtxt(impl_->schema);
  std::string errors;
  xmlSchemaSetValidStructuredErrors(
      ctxt, [](void* c, xmlErrorPtr e) { CollectErrors(c, e); }, &errors);
  const int rc = xmlSchemaValidateDoc(ctxt, doc.get());
  xmlSchemaFreeValidCtxt(ctxt);
  if (rc != 0 && errors.empty()) errors = "invalid (code " + std::to_string(rc) + ")";
  return errors;
}

const ApiSchema* SharedApiSchema() {
  static const std::unique_ptr<ApiSchema> schema = []() -> std::unique_ptr<ApiSchema> {
    const auto shared = SharedDir();
    if (!shared) return nullptr;
    return std::make_unique<ApiSchema>(*shared / "schemas" / "api-3.0" / "all.xsd");
  }();
  return schema.get();
}

}  // namespace kelvo::test
