#pragma once
// The table of interface types: one row per interface generation, holding
// everything the rest of the program knows of it.  Probing walks the rows in
// their order; -dump and -image, the dive store and the writers' choice of
// family read the row of the type that answered.  Nothing outside the table
// names an interface type, so a new type is its folder under dc/ (link and
// driver), a computer that answers from its image (replay/) and one row.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dc/base/driver.h"
#include "platform/memory_port.h"
#include "platform/serial_port.h"
#include "replay/computer_image.h"

namespace talvek {

// What a probe of the type shows and traces; the texts differ from type to
// type and are kept as they have always been.
struct ProbeTexts {
    const char* searching;      // status text
    const char* found;          // trace, level 2
    const char* notFound;       // trace, level 2
    const char* errorFormat;    // trace of a device error, with its message
    const char* unknownFormat;  // trace of anything else, with the system error number
    const char* unknownStatus;  // and how that ends the download
    int unknownCode;
};

struct InterfaceRow {
    // The number users and files know the type by: -dv's value, the type
    // byte of a computer image.
    int number = 0;
    // The data family its dives carry (what the writers and the store key on).
    DataFamily family{};
    // The driver's name in the trace lines of the writers' choice.
    const char* traceName = "Driver";
    ProbeTexts probe{};

    // Opens `port` through `ports` with the type's link settings and makes
    // its driver; throws when the port cannot be opened.
    std::function<std::unique_ptr<Driver>(const std::string& port, const CancelFlag* cancel,
                                          platform::SerialOpener& ports)>
        makeDriver;

    // The computer kept in an image of this type: the image's shape, and a
    // computer that answers from it behind the in-memory port (-image).
    replay::ImageShape image;
    std::function<std::unique_ptr<platform::MemoryPeer>(replay::ComputerImage image)> makeComputer;
    // Where a computer without an identity command keeps its identity in
    // memory (a dump's identity bytes); empty for a type that has one.
    std::function<std::array<uint8_t, 4>(const std::vector<uint8_t>& memory)> identityInMemory;
};

class InterfaceTable {
  public:
    // `rows` in the order they are probed.
    explicit InterfaceTable(std::vector<InterfaceRow> rows);

    // Another type, probed after the ones before it.
    void add(InterfaceRow row);

    const std::vector<InterfaceRow>& rows() const { return rows_; }
    // The rows in probe order, with the row numbered `first` (when there is
    // one) ahead of the others.
    std::vector<const InterfaceRow*> probeOrder(std::optional<int> first = std::nullopt) const;
    // The row of an interface number, or null.
    const InterfaceRow* find(int number) const;
    // The image shape of each row, for reading and writing image files.
    replay::ShapeOf imageShapes() const;

  private:
    std::vector<InterfaceRow> rows_;
};

// The three interface generations this program downloads.
InterfaceTable standardInterfaces();

}  // namespace talvek
