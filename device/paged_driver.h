#pragma once
// The dive-download half of the type 2 and type 3 drivers: header image,
// dives through TDiveDownloader, and the output document.  `Control` is the
// type's memory access class; it supplies `getheader()`, the trace prefix
// `DriverName` and `MakeDcdml`, the factory of its DCDML generator.
#include <memory>

#include "device/paged_memory.h"
#include "download/dive_downloader.h"
#include "generate/output_generater.h"

namespace sAPI {
namespace paged {

template <class Control>
class DiveDriver : public Control {
  public:
    DiveDriver(const wchar_t* portName, const CancelFlag* cancel) : Control(portName, cancel) {}

    void Prepare() override {
        firstDive_ = true;
        this->dives_.clear();
        downloader_.reset();
        downloader_ = std::make_unique<TDiveDownloader>(*this, MemoryMap(this->header_));
    }

    bool NextDive() override {
        if (!downloader_) return false;
        if (firstDive_) {
            this->progress_.Reset(static_cast<int32_t>(downloader_->downloadSize()));
            firstDive_ = false;
        }
        this->currentDive_ = DivePtr(new _DIVE_DATA);
        const bool got = downloader_->NextDive(this->currentDive_);
        if (got) this->dives_.push_back(this->currentDive_);
        return got;
    }

    void ReadHeader() override {
        this->progress_.Reset(224);
        this->getheader();
        ReadHeaderAfterIdentity(*this);
    }

    void MakeOutput(DCDMLDocument& document, uint32_t flags) override {
        this->generator_.reset();
        this->outputUnits_ = UnitsFromFlags(flags);
        this->generator_ = ChooseGenerator(*this, Control::DriverName, flags, this->outputUnits_,
                                           &Control::MakeDcdml);
        SetDocumentOptions(document, flags);
        // The generator lives for this one document, also when Make throws.
        struct Release {
            std::unique_ptr<OutputGenerater>& generator;
            ~Release() { generator.reset(); }
        } release{this->generator_};
        this->generator_->Make(document);
    }

    const TDiveDownloader* downloader() const { return downloader_.get(); }

  private:
    bool firstDive_ = false;
    std::unique_ptr<TDiveDownloader> downloader_;
};

}  // namespace paged
}  // namespace sAPI
