// Writes the seed corpora of the fuzz targets from the simulator: memories,
// dive streams and image files of simulated computers, the arguments and
// documents of runs against them.  Usage: talvek_fuzz_seeds DIRECTORY
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "sim/dive_builder.h"

using namespace talvek;

namespace {

std::string root;

void save(const std::string& target, int n, const std::vector<uint8_t>& bytes) {
    const std::string dir = root + "/" + target;
    ::mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/seed-" + std::to_string(n), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    root = argv[1];
    ::mkdir(root.c_str(), 0755);
    int n = 0;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        for (replay::InterfaceType type :
             {replay::InterfaceType::Type2, replay::InterfaceType::Type3}) {
            sim::BuildOptions o;
            o.type = type;
            o.seed = seed;
            o.dives = static_cast<int>(2 + seed * 3);
            o.wrap = seed == 2;
            o.headerAcrossTop = seed == 3;
            const sim::BuiltComputer built = sim::buildComputer(o);
            save("paged_download", n, fuzz::pagedInput(built.image));
            save("image_reader", n, replay::encodeImage(built.image));
            // One dive's profile, behind the header fields the target reads.
            for (const sim::MeantDive& d : built.meant.dives) {
                std::vector<uint8_t> in = {d.sampleInterval, d.temperatureInterval,
                                           static_cast<uint8_t>(d.firstEventBlock),
                                           static_cast<uint8_t>(d.firstEventBlock >> 8),
                                           static_cast<uint8_t>(d.pressureSamples ? 1 : 0),
                                           d.oxygen1};
                in.insert(in.end(), d.profile.begin(), d.profile.end());
                save("profile_decoder", n * 100 + static_cast<int>(&d - built.meant.dives.data()),
                     in);
            }
            ++n;
        }
        const sim::BuiltComputer one = sim::buildComputer({replay::InterfaceType::Type1, seed, 4});
        save("type1_stream", static_cast<int>(seed), fuzz::streamsInput(one.image.diveStreams));
        save("image_reader", 100 + static_cast<int>(seed), replay::encodeImage(one.image));
        save("xml_escape", static_cast<int>(seed), bytesOf(one.meant.personalText));
    }
    // Arguments of runs against the simulator, and texts of its documents.
    const std::vector<std::vector<std::string>> runs = {
        {"build/talvek-dl", "-p=/dev/pts/3", "-f=/home/me/dives.xml", "-v=2", "-um"},
        {"/opt/my tools/talvek-dl", "-f=my dives.xml", "/port:/tmp/dc2", "-dv=2", "-cdblog=t"},
        {"talvek-dl", "-p=/tmp/dc3", "-f=a\"b.xml", "-nfmt", "-ntags", "-us", "-g=0", "-nc"},
        {"talvek-dl", "/F:out.xml", "-t=10", "-l=20", "-codec=UTF16", "-usefile=/tmp/x"},
    };
    for (size_t i = 0; i < runs.size(); ++i)
        save("command_line", static_cast<int>(i), fuzz::argumentsInput(runs[i]));
    save("xml_escape", 10, bytesOf("Tom & Jerry's <dive> \"log\"\t\r\n\x01\xe9"));
    return 0;
}
