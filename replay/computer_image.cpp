#include "replay/computer_image.h"

#include <cstring>
#include <stdexcept>

#include "platform/file_replace.h"
#include "platform/os.h"

namespace talvek {

namespace replay {
namespace {

constexpr char Magic[8] = {'T', 'L', 'V', 'K', 'S', 'I', 'M', '\0'};
constexpr uint8_t FormatVersion = 1;
constexpr const char* NotAnImage = "image file: not a simulator image";

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& b) : b_(b) {}
    void need(size_t n, const char* what) const {
        if (b_.size() - pos_ < n) throw std::runtime_error(std::string("image file: ") + what);
    }
    uint8_t u8(const char* what) {
        need(1, what);
        return b_[pos_++];
    }
    uint32_t u32(const char* what) {
        need(4, what);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b_[pos_ + i]) << (8 * i);
        pos_ += 4;
        return v;
    }
    std::vector<uint8_t> bytes(size_t n, const char* what) {
        need(n, what);
        std::vector<uint8_t> v(b_.begin() + pos_, b_.begin() + pos_ + n);
        pos_ += n;
        return v;
    }
    size_t pos() const { return pos_; }

  private:
    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
};

}  // namespace

std::optional<ImageShape> builtInShape(InterfaceType t) {
    switch (t) {
        case InterfaceType::Type1:
            return ImageShape{Type1MemorySize, true};
        case InterfaceType::Type2:
        case InterfaceType::Type3:
            return ImageShape{Type23MemorySize, false};
    }
    return std::nullopt;
}

uint32_t memorySize(InterfaceType t) {
    return t == InterfaceType::Type1 ? Type1MemorySize : Type23MemorySize;
}

uint32_t ringTop(InterfaceType t) {
    switch (t) {
        case InterfaceType::Type2:
            return Type2MemoryTop;
        case InterfaceType::Type3:
            return Type3MemoryTop;
        default:
            return 0;
    }
}

uint32_t baudRate(InterfaceType t) {
    return t == InterfaceType::Type1 ? 2400 : 9600;
}

ComputerImage ComputerImage::blank(InterfaceType t) {
    ComputerImage c;
    c.type = t;
    c.memory.assign(memorySize(t), 0);
    return c;
}

uint32_t crc32(const uint8_t* data, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint8_t xorSum(const uint8_t* data, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= data[i];
    return x;
}

namespace {

ImageShape shapeOrRefuse(const ShapeOf& shapes, InterfaceType t) {
    const std::optional<ImageShape> shape = t == InterfaceType{} ? std::nullopt : shapes(t);
    if (!shape) throw std::runtime_error("image file: bad interface type");
    return *shape;
}

}  // namespace

std::vector<uint8_t> encodeImage(const ComputerImage& image, const ShapeOf& shapes) {
    const auto t = static_cast<uint8_t>(image.type);
    const ImageShape shape = shapeOrRefuse(shapes, image.type);
    if (image.memory.size() != shape.memorySize)
        throw std::runtime_error("image file: memory size does not fit the interface type");
    if (!shape.streamsDives && !image.diveStreams.empty())
        throw std::runtime_error("image file: only type 1 computers stream dives");
    std::vector<uint8_t> out(std::begin(Magic), std::end(Magic));
    out.push_back(FormatVersion);
    out.push_back(t);
    out.insert(out.end(), image.identity.begin(), image.identity.end());
    putU32(out, static_cast<uint32_t>(image.memory.size()));
    out.insert(out.end(), image.memory.begin(), image.memory.end());
    putU32(out, static_cast<uint32_t>(image.diveStreams.size()));
    for (const auto& d : image.diveStreams) {
        putU32(out, static_cast<uint32_t>(d.size()));
        out.insert(out.end(), d.begin(), d.end());
    }
    putU32(out, crc32(out.data(), out.size()));
    return out;
}

ComputerImage decodeImage(const std::vector<uint8_t>& bytes, const ShapeOf& shapes) {
    if (bytes.size() < sizeof Magic + 4 || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0)
        throw std::runtime_error(NotAnImage);
    const size_t body = bytes.size() - 4;
    uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(bytes[body + i]) << (8 * i);
    if (crc32(bytes.data(), body) != stored)
        throw std::runtime_error("image file: checksum mismatch (damaged file)");
    const std::vector<uint8_t> content(bytes.begin(), bytes.begin() + body);
    Reader r(content);
    r.bytes(sizeof Magic, "truncated");
    if (r.u8("truncated") != FormatVersion)
        throw std::runtime_error("image file: unknown format version");
    ComputerImage c;
    c.type = static_cast<InterfaceType>(r.u8("truncated"));
    const ImageShape shape = shapeOrRefuse(shapes, c.type);
    const auto id = r.bytes(4, "truncated identity");
    std::copy(id.begin(), id.end(), c.identity.begin());
    const uint32_t m = r.u32("truncated");
    if (m != shape.memorySize)
        throw std::runtime_error("image file: memory size does not fit the interface type");
    c.memory = r.bytes(m, "truncated memory");
    const uint32_t d = r.u32("truncated");
    if (d > MaxDiveStreams || (!shape.streamsDives && d != 0))
        throw std::runtime_error("image file: bad number of dive streams");
    uint32_t total = 0;
    for (uint32_t i = 0; i < d; ++i) {
        const uint32_t len = r.u32("truncated dive stream");
        if (len > Type1MaxDiveStream) throw std::runtime_error("image file: dive stream too long");
        total += len;
        if (total > shape.memorySize)
            throw std::runtime_error("image file: dive streams hold more than the memory");
        c.diveStreams.push_back(r.bytes(len, "truncated dive stream"));
    }
    if (r.pos() != content.size()) throw std::runtime_error("image file: trailing bytes");
    return c;
}

void saveImage(const ComputerImage& image, const std::string& path, const ShapeOf& shapes) {
    const auto bytes = encodeImage(image, shapes);
    const platform::ReplaceResult r = platform::replaceFile(path, bytes.data(), bytes.size());
    if (!r.ok())
        throw std::runtime_error("image file: cannot write " + path + ": " +
                                 platform::errorText(r.error));
}

ComputerImage loadImage(const std::string& path, const ShapeOf& shapes) {
    std::vector<uint8_t> bytes;
    const platform::FileRead read = platform::readWholeFile(path, bytes, MaxImageFileSize);
    if (read.outcome == platform::ReadOutcome::NotAFile ||
        read.outcome == platform::ReadOutcome::TooLarge)
        throw std::runtime_error(NotAnImage);
    if (!read.ok())
        throw std::runtime_error("image file: cannot open " + path + ": " +
                                 platform::errorText(read.error));
    return decodeImage(bytes, shapes);
}

}  // namespace replay

}  // namespace talvek
