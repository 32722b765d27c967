#pragma once
// Validation of the documents the tests produce against the schemas the
// program's readers use: docs/dcdml.xsd with the schema of the document's own
// unit system, and the UDDF 3.2.3 schema (docs/uddf/).  libxml2's schema
// engine, the one xmllint runs, in process.
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <cstdarg>
#include <cstdio>

#include <map>
#include <memory>
#include <string>

namespace talvek {

namespace schema_check {

inline void collect(void* context, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *static_cast<std::string*>(context) += text;
}

// One parsed schema per file for the life of the test process, freed at its
// end (the leak checker of the sanitizer tree would report it otherwise).
struct SchemaCache {
    std::map<std::string, xmlSchemaPtr> parsed;
    ~SchemaCache() {
        for (auto& [path, schema] : parsed) xmlSchemaFree(schema);
    }
};

inline xmlSchemaPtr schemaAt(const std::string& path, std::string& errors) {
    static SchemaCache cache;
    std::map<std::string, xmlSchemaPtr>& parsed = cache.parsed;
    auto found = parsed.find(path);
    if (found != parsed.end()) return found->second;
    xmlSchemaParserCtxtPtr context = xmlSchemaNewParserCtxt(path.c_str());
    xmlSchemaSetParserErrors(context, collect, collect, &errors);
    xmlSchemaPtr schema = xmlSchemaParse(context);
    xmlSchemaFreeParserCtxt(context);
    if (!schema) errors += "cannot read the schema " + path + "\n";
    return parsed[path] = schema;
}

inline std::string docsDir() {
    return std::string(TALVEK_SOURCE_DIR) + "/docs/";
}

}  // namespace schema_check

// The schema's complaints about `document` (empty when it is valid).
inline std::string schemaErrors(const std::string& document, const std::string& schemaPath) {
    std::string errors;
    xmlSchemaPtr schema = schema_check::schemaAt(schemaPath, errors);
    if (!schema) return errors;
    xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "document",
                                  nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return "not well-formed XML";
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    xmlSchemaSetValidErrors(context, schema_check::collect, schema_check::collect, &errors);
    const int rc = xmlSchemaValidateDoc(context, doc);
    xmlSchemaFreeValidCtxt(context);
    xmlFreeDoc(doc);
    if (rc != 0 && errors.empty()) errors = "invalid (libxml2 code " + std::to_string(rc) + ")";
    return errors;
}

// A DCDML document against docs/dcdml.xsd and against the schema of the unit
// system its root names (docs/dcdml-<units>.xsd).
inline std::string dcdmlSchemaErrors(const std::string& document) {
    std::string errors = schemaErrors(document, schema_check::docsDir() + "dcdml.xsd");
    const size_t root = document.find("<dcdml ");
    const size_t units = document.find(" units=\"", root);
    if (root == std::string::npos || units == std::string::npos)
        return errors + "no dcdml root with units";
    const size_t from = units + 8;
    const std::string system = document.substr(from, document.find('"', from) - from);
    return errors + schemaErrors(document, schema_check::docsDir() + "dcdml-" + system + ".xsd");
}

inline std::string uddfSchemaErrors(const std::string& document) {
    return schemaErrors(document, schema_check::docsDir() + "uddf/uddf_3.2.3.xsd");
}

}  // namespace talvek
