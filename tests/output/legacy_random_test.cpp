// Random header images and dive records through the legacy generators and the
// family 1 DCDML generator: nothing may crash or read outside the profile
// (the sanitizer build checks that), and every document must parse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "dc/base/errors.h"
#include "output/dcdml/dcdml_family1_writer.h"
#include "output/legacy/legacy_writer.h"
#include "support/legacy_fixtures.h"
#include "support/temp_dir.h"
#include "support/writer_inputs.h"

namespace talvek {

using namespace legacy_test;

namespace {

class RandomInput {
  public:
    explicit RandomInput(uint32_t seed) : rng_(seed) {}

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
    uint8_t Byte() { return static_cast<uint8_t>(Below(256)); }

    Header MakeHeader() {
        Header h;
        for (auto& b : h) b = Byte();
        // The personal text is shown to people: printable characters, with
        // the markup characters that need escaping among them.
        const char* pool = "abcXYZ 019&<>'\"\xE9";
        const int length = static_cast<int>(Below(45));
        for (int i = 0; i < 40; ++i)
            h[0x30 + i] = i < length ? static_cast<uint8_t>(pool[Below(16)]) : 0;
        return h;
    }

    DivePtr MakeDive(bool family1) {
        DivePtr d(new DiveRecord);
        for (uint8_t* f : {&d->surfaceIntervalMinutes,
                           &d->surfaceIntervalHours,
                           &d->sampleInterval,
                           &d->personalAltitude,
                           &d->startCylinderPressure,
                           &d->oxygen1,
                           &d->oxygenFraction,
                           &d->startTemperature,
                           &d->year,
                           &d->month,
                           &d->day,
                           &d->hour,
                           &d->minute,
                           &d->maxDepthTemperature,
                           &d->endTemperature,
                           &d->endCylinderPressure,
                           &d->cnsOtu,
                           &d->oxygen2,
                           &d->oxygen3,
                           &d->second,
                           &d->surfaceIntervalSeconds})
            *f = Byte();
        d->diveNumber = static_cast<uint8_t>(Below(4));
        d->diveMode = static_cast<uint8_t>(Below(5));
        d->temperatureInterval = static_cast<uint8_t>(Below(4));
        d->pressureSamples = static_cast<uint16_t>(Below(2));
        d->firstEventBlock = static_cast<uint16_t>(Below(3) == 0 ? 0xFFFF : Below(20));
        std::vector<uint8_t> profile(Below(300));
        for (auto& b : profile) {
            if (family1) {
                // Plenty of markers among the depth changes.
                b = Below(3) == 0 ? static_cast<uint8_t>(120 + Below(18)) : Byte();
            } else {
                // Small depths and event types are the interesting ones.
                b = Below(2) == 0 ? static_cast<uint8_t>(Below(7)) : Byte();
            }
        }
        d->setProfile(profile.data(), static_cast<uint32_t>(profile.size()));
        return d;
    }

    DiveList MakeDives(bool family1) {
        DiveList dives;
        const uint32_t n = Below(6);
        for (uint32_t i = 0; i < n; ++i) dives.push_back(MakeDive(family1));
        return dives;
    }

  private:
    std::mt19937 rng_;
};

}  // namespace

TEST(LegacyRandom, DocumentsNeverCrashAndAlwaysParse) {
    RandomInput in(20261208);
    const std::string dir = makeTempDir("legacy_random_");
    ASSERT_FALSE(dir.empty());
    std::string files;
    int written = 0, missingGas = 0;
    const UnitSystem systems[] = {UnitSystem::Imperial, UnitSystem::Metric, UnitSystem::Scientific};

    auto save = [&](const XmlDocument& doc) {
        const std::string name = dir + "/doc" + std::to_string(written++) + ".xml";
        std::ofstream(name, std::ios::binary) << doc.outputBuffer();
        files += " '" + name + "'";
    };

    for (int round = 0; round < 120; ++round) {
        const Header h = in.MakeHeader();
        const uint32_t flags = XmlDocument::Utf8 | (in.Below(2) ? XmlDocument::Indent : 0) |
                               (in.Below(2) ? XmlDocument::FullEndTags : 0);
        {
            DiveList dives = in.MakeDives(true);
            XmlDocument doc;
            doc.setFlags(flags);
            LegacyFamily1Writer gen(diveSetOf(1, h.data(), dives));
            ASSERT_NO_THROW(gen.make(doc));
            save(doc);
        }
        {
            DiveList dives = in.MakeDives(false);
            XmlDocument doc;
            doc.setFlags(flags);
            LegacyFamily23Writer gen(diveSetOf(in.Below(2) ? 2 : 4, h.data(), dives));
            ASSERT_NO_THROW(gen.make(doc));
            save(doc);
        }
        {
            DiveList dives = in.MakeDives(true);
            XmlDocument doc;
            doc.setFlags(flags);
            DcdmlFamily1Writer gen(diveSetOf(1, h.data(), dives), systems[in.Below(3)],
                                   DocumentStamp{std::nullopt, platform::localTime()});
            try {
                gen.make(doc);
                save(doc);
            } catch (const Error& e) {
                // Only a gas switch without its O2 byte may stop the document.
                ASSERT_EQ(e.code(), 9);
                ++missingGas;
            }
        }
    }
    EXPECT_GT(written, 300);
    EXPECT_LT(missingGas, 60) << "too few complete family 1 documents";
#ifndef _WIN32
    // xmllint is there on the Linux machines only (the Windows tests run under Wine).
    const int rc = std::system(("xmllint --noout" + files).c_str());
    EXPECT_EQ(rc, 0) << "xmllint rejected a document in " << dir;
    if (rc != 0) return;  // keep the documents to look at
#endif
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace talvek
