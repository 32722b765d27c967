#include "session/interface_table.h"

#include <algorithm>

#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "dc/type1/type1_driver.h"
#include "replay/memory_computer.h"

namespace talvek {

namespace {

template <typename D>
std::unique_ptr<Driver> makeDriver(const std::string& port, const CancelFlag* cancel,
                                   platform::SerialOpener& ports) {
    return std::make_unique<D>(port.c_str(), cancel, ports);
}

std::unique_ptr<platform::MemoryPeer> replayComputer(replay::ComputerImage image) {
    return std::make_unique<replay::MemoryComputer>(std::move(image));
}

}  // namespace

InterfaceTable::InterfaceTable(std::vector<InterfaceRow> rows) : rows_(std::move(rows)) {}

void InterfaceTable::add(InterfaceRow row) {
    rows_.push_back(std::move(row));
}

std::vector<const InterfaceRow*> InterfaceTable::probeOrder(std::optional<int> first) const {
    std::vector<const InterfaceRow*> order;
    if (first)
        if (const InterfaceRow* row = find(*first)) order.push_back(row);
    for (const InterfaceRow& row : rows_)
        if (std::find(order.begin(), order.end(), &row) == order.end()) order.push_back(&row);
    return order;
}

const InterfaceRow* InterfaceTable::find(int number) const {
    for (const InterfaceRow& row : rows_)
        if (row.number == number) return &row;
    return nullptr;
}

replay::ShapeOf InterfaceTable::imageShapes() const {
    return [rows = rows_](replay::InterfaceType type) -> std::optional<replay::ImageShape> {
        for (const InterfaceRow& row : rows)
            if (row.number == static_cast<int>(type) && row.makeComputer) return row.image;
        return std::nullopt;
    };
}

InterfaceTable standardInterfaces() {
    using replay::InterfaceType;
    return InterfaceTable({
        {.number = 1,
         .family = Type1Driver::Family,
         .traceName = "Device_Type1",
         .probe = {"Searching for Device (1)", "Found Device Type1", "Did Not Find Device Type 1",
                   "Device Type1: %s", "Unknown Exception searching for Device 1 - error = %d",
                   "Runtime Error", 1},
         .makeDriver = makeDriver<Type1Driver>,
         .image = *replay::builtInShape(InterfaceType::Type1),
         .makeComputer = replayComputer,
         // A type 1 computer tells its model and firmware in its memory.
         .identityInMemory =
             [](const std::vector<uint8_t>& memory) {
                 return std::array<uint8_t, 4>{memory[0x24], memory[0x25], 0, 0};
             }},
        {.number = 2,
         .family = Type2DriverTraits::Family,
         .traceName = "Device_TypeD",
         .probe = {"Searching for Device (2)", "Found Device Type2", "Did Not Find Device Type 2",
                   "%s", "Unknown Exception searching for Device 2 - error = %d", "Runtime Error",
                   1},
         .makeDriver = makeDriver<Type2Driver>,
         .image = *replay::builtInShape(InterfaceType::Type2),
         .makeComputer = replayComputer,
         .identityInMemory = {}},  // it answers the identity command
        {.number = 3,
         .family = Type3DriverTraits::Family,
         .traceName = "Device_TypeC2V2",
         .probe = {"Searching for Device (3)", "Found Device Type 3",
                   "Did Not Find Device Type C2V2", "%s",
                   "Unknown Exception searching for Device C2V2 - error = %d", "Unknown Error", -1},
         .makeDriver = makeDriver<Type3Driver>,
         .image = *replay::builtInShape(InterfaceType::Type3),
         .makeComputer = replayComputer,
         .identityInMemory = {}},
    });
}

}  // namespace talvek
