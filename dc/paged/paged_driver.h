#pragma once
// The dive-download half of the type 2 and type 3 drivers: header image,
// dives through RingWalker.  `Control` is the type's memory access class; it
// supplies `readIdentity()`.
#include <memory>

#include "dc/paged/paged_memory.h"
#include "dc/ring/ring_walker.h"

namespace talvek {

namespace paged {

template <class Control>
class PagedDriver : public Control {
  public:
    PagedDriver(const char* portName, const CancelFlag* cancel) : Control(portName, cancel) {}

    void prepare() override {
        firstDive_ = true;
        this->dives_.clear();
        downloader_.reset();
        downloader_ =
            std::make_unique<RingWalker>(*this, this->progress_, memoryMap(this->header_));
    }

    bool nextDive() override {
        if (!downloader_) return false;
        if (firstDive_) {
            this->progress_.reset(static_cast<int32_t>(downloader_->downloadSize()));
            firstDive_ = false;
        }
        this->currentDive_ = DivePtr(new DiveRecord);
        const bool got = downloader_->nextDive(this->currentDive_);
        if (got) this->dives_.push_back(this->currentDive_);
        return got;
    }

    void readHeader() override {
        this->progress_.reset(224);
        this->readIdentity();
        readHeaderAfterIdentity(*this);
    }

    const RingWalker* downloader() const { return downloader_.get(); }

  private:
    bool firstDive_ = false;
    std::unique_ptr<RingWalker> downloader_;
};

}  // namespace paged

}  // namespace talvek
