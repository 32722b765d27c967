#include "xml/xml_document.h"

#include <cstring>
#include <stdexcept>

namespace talvek {

namespace {

const char* const BadSubscript = "DCDML::Invalid Attribute Subscript";

// Entity of each escaped character, null for characters written as they are.
// Control characters other than tab, line feed and carriage return cannot
// appear in an XML 1.0 document at all, not even as references; device texts
// (personal information) may hold them, so they are written as '?' to keep
// the document well-formed.
struct EscapeTable {
    const char* entity[256] = {};
    EscapeTable() {
        for (int c = 0; c < 0x20; ++c)
            if (c != '\t' && c != '\n' && c != '\r') entity[c] = "?";
        entity[static_cast<unsigned char>('&')] = "&amp;";
        entity[static_cast<unsigned char>('<')] = "&lt;";
        entity[static_cast<unsigned char>('>')] = "&gt;";
        entity[static_cast<unsigned char>('\'')] = "&apos;";
        entity[static_cast<unsigned char>('"')] = "&quot;";
    }
};
const EscapeTable escapes;

}  // namespace

void escapeXml(const std::string& in, std::string& out) {
    const char* p = in.data();
    const char* end = p + in.size();
    const char* run = p;
    for (; p != end; ++p) {
        const char* e = escapes.entity[static_cast<unsigned char>(*p)];
        if (e) {
            out.append(run, p);
            out.append(e);
            run = p + 1;
        }
    }
    out.append(run, end);
}

// --- XmlElement -------------------------------------------------------

XmlElement::XmlElement(const std::string& name, int32_t level, bool indent, bool fullEndTags)
    : name_(name), indent_(indent), fullEndTags_(fullEndTags), level_(level) {}

XmlElement::~XmlElement() = default;

XmlElement* XmlElement::addChild(const std::string& name) {
    children_.push_back(std::make_unique<XmlElement>(name, level_ + 1, indent_, fullEndTags_));
    return children_.back().get();
}

XmlElement* XmlElement::addComment(const std::string& text) {
    return addChild("!--" + text);
}

void XmlElement::setText(const std::string& text) {
    text_ = text;
}

std::string& XmlElement::attribute(const std::string& name) {
    return attribute(name.c_str());
}

std::string& XmlElement::attribute(const char* name) {
    if (!name || !*name) throw std::runtime_error(BadSubscript);
    for (XmlAttribute& a : attributes_)
        if (a.name == name) return a.value;
    attributes_.push_back(XmlAttribute{name, std::string()});
    return attributes_.back().value;
}

XmlAttribute& XmlElement::attributeAt(int position) {
    if (position < 1 || static_cast<size_t>(position) > attributes_.size())
        throw std::runtime_error(BadSubscript);
    auto it = attributes_.begin();
    for (int i = 1; i < position; ++i) ++it;
    return *it;
}

void XmlElement::setLayout(bool indent, bool fullEndTags) {
    indent_ = indent;
    fullEndTags_ = fullEndTags;
}

void XmlElement::write(uint32_t flags, std::string& out) {
    fullEndTags_ = (flags & XmlDocument::FullEndTags) != 0;
    indent_ = (flags & XmlDocument::Indent) != 0;

    auto prefix = [&] {
        if (indent_) {
            out.push_back('\n');
            out.append(static_cast<size_t>(level_ > 0 ? level_ : 0) * 4, ' ');
        }
    };

    prefix();
    if (isComment()) {
        out.push_back('<');
        out.append(name_);
        out.append("-->");
        return;
    }
    out.push_back('<');
    out.append(name_);
    for (const XmlAttribute& a : attributes_) {
        out.push_back(' ');
        out.append(a.name);
        out.append("=\"");
        escapeXml(a.value, out);
        out.push_back('"');
    }
    if (!children_.empty()) {
        out.append(" >");
        escapeXml(text_, out);
        for (auto& child : children_) child->write(flags, out);
        prefix();
        out.append("</");
        out.append(name_);
        out.append(" >");
    } else if (!fullEndTags_ && text_.empty()) {
        out.append(" />");
    } else {
        out.append(" >");
        escapeXml(text_, out);
        out.append("</");
        out.append(name_);
        out.append(" >");
    }
}

// --- converters -------------------------------------------------------------

namespace {

size_t utf8Length(const char* text) {
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        n += *p < 0x80 ? 1 : 2;
    return n;
}

}  // namespace

ConvertedText::ConvertedText(size_t length, size_t unitBytes)
    : data_(new char[(length + 1) * unitBytes]), length_(length), unitBytes_(unitBytes) {}

std::unique_ptr<char[]> ConvertedText::copy() const {
    std::unique_ptr<char[]> copy(new char[bytes()]);
    std::memcpy(copy.get(), data_.get(), bytes());
    return copy;
}

std::unique_ptr<char[]> ConvertedText::release() {
    length_ = 0;
    return std::move(data_);
}

Latin1ToUtf8::Latin1ToUtf8(const char* text) : ConvertedText(utf8Length(text), 1) {
    char* out = buffer();
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char b = *p;
        if (b < 0x80) {
            *out++ = static_cast<char>(b);
        } else {
            *out++ = static_cast<char>(0xC0 | (b >> 6));
            *out++ = static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    *out = '\0';
}

Latin1ToUtf16::Latin1ToUtf16(const char* text) : ConvertedText(std::strlen(text), 2) {
    char* out = buffer();
    for (size_t i = 0; i <= length(); ++i) {  // includes the terminator
        *out++ = text[i];                     // low byte first
        *out++ = '\0';
    }
}

// --- XmlDocument ----------------------------------------------------------

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;

void XmlDocument::setFlags(uint32_t bits) {
    if (bits & FullEndTags) flags_ |= FullEndTags;
    if (bits & Indent) flags_ |= Indent;
    if ((bits & Utf8) && (bits & Utf16))
        throw std::runtime_error("TDCDML: Both UTF8 and UTF16 specified");
    if (bits & Utf8) flags_ = (flags_ & ~Utf16) | Utf8;
    if (bits & Utf16) flags_ = (flags_ & ~Utf8) | Utf16;
    if (bits & NoEncoding) flags_ &= ~(Utf8 | Utf16);
    if (root_) root_->setLayout((flags_ & Indent) != 0, (flags_ & FullEndTags) != 0);
}

void XmlDocument::clearFlags(uint32_t bits) {
    flags_ &= ~(bits & (FullEndTags | Indent | Utf8 | Utf16));
    if (root_) root_->setLayout((flags_ & Indent) != 0, (flags_ & FullEndTags) != 0);
}

XmlElement* XmlDocument::createRoot(const std::string& name) {
    root_ =
        std::make_unique<XmlElement>(name, 0, (flags_ & Indent) != 0, (flags_ & FullEndTags) != 0);
    return root_.get();
}

void XmlDocument::build() {
    if (flags_ & Utf16)
        text_ = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
    else if (flags_ & Utf8)
        text_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    else
        text_ = "<?xml version=\"1.0\"?>";
    owned_.reset();
    output_ = nullptr;
    outputLength_ = 0;
    if (flags_ != 0) text_.push_back('\n');
    if (root_) root_->write(flags_, text_);

    // The output is the converted bytes without their terminator.
    auto take = [this](ConvertedText&& conv, size_t terminator) {
        outputLength_ = conv.bytes() - terminator;
        owned_ = conv.release();
        output_ = owned_.get();
    };
    if (flags_ & Utf8) {
        take(Latin1ToUtf8(text_.c_str()), 1);
    } else if (flags_ & Utf16) {
        take(Latin1ToUtf16(text_.c_str()), 2);
    } else {
        output_ = text_.c_str();
        outputLength_ = std::strlen(output_);  // the writer stops at the NUL
    }
}

}  // namespace talvek
