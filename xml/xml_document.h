#pragma once
// The small XML writer behind every output file: a tree of elements with
// ordered attributes and text, serialised with an XML declaration into 8-bit
// text, UTF-8 or UTF-16.  Names, values and texts are 8-bit strings (each
// byte is the Latin-1 character of the same value).
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

namespace talvek {

// One attribute: name and value.
struct XmlAttribute {
    std::string name;
    std::string value;
};

// Attributes in the order in which each name was first used; a name occurs
// at most once.
using XmlAttributes = std::list<XmlAttribute>;

// One element.  A name beginning with "!--" makes the node a comment.
class XmlElement {
  public:
    XmlElement(const XmlElement&) = delete;
    XmlElement& operator=(const XmlElement&) = delete;
    XmlElement(const std::string& name, int32_t level, bool indent, bool fullEndTags);
    ~XmlElement();

    // Appends a child one level deeper and returns it (owned by this node).
    XmlElement* addChild(const std::string& name);
    // Appends a child written as <!--text-->.
    XmlElement* addComment(const std::string& text);
    // Replaces the element's character content.
    void setText(const std::string& text);

    // The value of the attribute `name`, appended with an empty value when it
    // is new.  The reference stays valid for the node's lifetime.  An empty
    // name throws std::runtime_error("DCDML::Invalid Attribute Subscript").
    std::string& attribute(const std::string& name);
    std::string& attribute(const char* name);
    // The attribute at 1-based `position`; outside 1..count throws like
    // Attribute.
    XmlAttribute& attributeAt(int position);
    size_t attributeCount() const { return attributes_.size(); }

    // Serialises the element and its subtree onto the end of `out`.  Only
    // bits 0x01 (full end tags) and 0x02 (indent) of `flags` matter.
    void write(uint32_t flags, std::string& out);

    // Takes the document's layout flags (the document's SetFlags/ClearFlags).
    void setLayout(bool indent, bool fullEndTags);

    const std::string& name() const { return name_; }
    const std::string& text() const { return text_; }
    int32_t level() const { return level_; }
    bool indent() const { return indent_; }
    bool fullEndTags() const { return fullEndTags_; }
    const XmlAttributes& attributes() const { return attributes_; }
    const std::list<std::unique_ptr<XmlElement>>& children() const { return children_; }
    bool isComment() const { return name_.compare(0, 3, "!--") == 0; }

  private:
    std::string name_;
    std::string text_;
    std::list<std::unique_ptr<XmlElement>> children_;
    bool indent_;
    bool fullEndTags_;
    int32_t level_;
    XmlAttributes attributes_;
};

// Appends `in` to `out` with & < > ' " replaced by their entities and the
// control characters XML 1.0 forbids (all below 0x20 except tab, line feed,
// carriage return) replaced by '?'.
void escapeXml(const std::string& in, std::string& out);

// 8-bit (Latin-1) text converted to another encoding: code units followed
// by a 0 unit.  No byte-order mark.
class ConvertedText {
  public:
    ConvertedText(const ConvertedText&) = delete;
    ConvertedText& operator=(const ConvertedText&) = delete;
    // Code units without the terminating 0.
    size_t length() const { return length_; }
    // The bytes, terminator included.
    const char* data() const { return data_.get(); }
    size_t bytes() const { return data_ ? (length_ + 1) * unitBytes_ : 0; }
    // A fresh copy of the result, terminator included.
    std::unique_ptr<char[]> copy() const;
    // Hands the result itself over; the converter is empty afterwards.
    std::unique_ptr<char[]> release();

  protected:
    // Room for `length` units of `unitBytes` bytes and the terminator.
    ConvertedText(size_t length, size_t unitBytes);
    ~ConvertedText() = default;
    char* buffer() { return data_.get(); }

  private:
    std::unique_ptr<char[]> data_;
    size_t length_;
    size_t unitBytes_;
};

// To UTF-8: the length counts bytes.
class Latin1ToUtf8 : public ConvertedText {
  public:
    explicit Latin1ToUtf8(const char* text);
};

// To UTF-16 little-endian, one code unit per character.
class Latin1ToUtf16 : public ConvertedText {
  public:
    explicit Latin1ToUtf16(const char* text);
};

class XmlDocument {
  public:
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    // Layout and encoding flags.
    static constexpr uint32_t FullEndTags = 0x01;  // leaves get an end tag too
    static constexpr uint32_t Indent = 0x02;       // line break + 4 blanks per level
    static constexpr uint32_t Utf8 = 0x04;
    static constexpr uint32_t Utf16 = 0x08;
    static constexpr uint32_t NoEncoding = 0x10;  // SetFlags only: 8-bit output

    XmlDocument();
    ~XmlDocument();

    // Sets FullEndTags and Indent, then the encoding: 0x04 and 0x08 together
    // throw std::runtime_error("TDCDML: Both UTF8 and UTF16 specified").
    void setFlags(uint32_t bits);
    void clearFlags(uint32_t bits);
    uint32_t flags() const { return flags_; }

    // Makes a new root (level 0); an earlier tree is destroyed.
    XmlElement* createRoot(const std::string& name);
    XmlElement* root() { return root_.get(); }

    // Serialises the tree and prepares the output buffer.
    void build();
    // The serialised 8-bit text of the last Build.
    const std::string& text() const { return text_; }

    // The bytes to write.  The 8-bit and UTF-8 forms are NUL-terminated; the
    // UTF-16 form ends in a 0 code unit.  Null before the first Build.
    const char* outputBuffer() const { return output_; }
    // Bytes to write from OutputBuffer(), terminator excluded (for UTF-16
    // 2 x characters).
    size_t outputLength() const { return outputLength_; }

  private:
    std::string text_;
    const char* output_ = nullptr;
    std::unique_ptr<XmlElement> root_;
    uint32_t flags_ = 0;
    std::unique_ptr<char[]> owned_;  // set when the output buffer is a converted copy
    size_t outputLength_ = 0;
};

}  // namespace talvek
