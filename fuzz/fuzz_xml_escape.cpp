// The XML writer's escaping: text and attribute values of any bytes give a
// document whose markup they cannot change, and that a real parser reads.
#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "xml/xml_document.h"

using namespace talvek;

namespace {

// The escaped text read back: the five entities undone.
std::string unescape(const std::string& s) {
    static const char* const entities[][2] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&apos;", "'"}, {"&quot;", "\""}};
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            bool known = false;
            for (const auto& e : entities) {
                const std::string name = e[0];
                if (s.compare(i, name.size(), name) == 0) {
                    out += e[1];
                    i += name.size();
                    known = true;
                    break;
                }
            }
            if (!known) __builtin_trap();  // a bare '&' in the output
            continue;
        }
        if (s[i] == '<' || s[i] == '>' || s[i] == '"' || s[i] == '\'') __builtin_trap();
        out += s[i++];
    }
    return out;
}

void quiet(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string escaped;
    escapeXml(text, escaped);
    std::string expected = text;
    for (char& c : expected)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
    if (unescape(escaped) != expected) __builtin_trap();

    // The document is 8-bit text written as UTF-8: every input is text a
    // parser must read.
    XmlDocument document;
    document.setFlags(XmlDocument::Indent | XmlDocument::Utf8);
    XmlElement* root = document.createRoot("root");
    root->attribute("value") = text;
    root->addChild("item")->setText(text);
    document.build();

    static const bool silenced = (xmlSetGenericErrorFunc(nullptr, quiet), true);
    (void)silenced;
    xmlDocPtr parsed = xmlReadMemory(document.outputBuffer(),
                                     static_cast<int>(document.outputLength()), "fuzz.xml",
                                     nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                  XML_PARSE_NOWARNING);
    if (!parsed) __builtin_trap();  // escaped text that broke the document
    xmlFreeDoc(parsed);
    return 0;
}
