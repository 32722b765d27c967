#pragma once
// The download worker: finds a dive computer by probing the three interface
// types in order, reads its header and its dives, has the document built from
// what the driver yielded and writes it to the output file.  Every path ends
// in one finish call that leaves a last status text and a result code.
//
// This is the thread body without the thread: a Session owns it and a front
// end runs it on the thread of its choice; tests run it in process with fake
// drivers.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dc/base/driver.h"
#include "output/report/html_report.h"
#include "output/writer_table.h"
#include "platform/serial_port.h"
#include "session/download_extras.h"
#include "session/session_sink.h"
#include "session/version_information.h"
#include "xml/xml_document.h"

namespace talvek {

// Makes the driver of each interface type from the port name and the cancel
// flag; construction opens the port and throws when it cannot.
struct DriverFactory {
    using Make =
        std::function<std::unique_ptr<Driver>(const std::string& port, const CancelFlag* cancel)>;
    Make type1;  // Type1Driver
    Make type2;  // Type2Driver
    Make type3;  // Type3Driver
};

// One interface type of the probing table (download_worker.cpp).
struct ProbeRow;
class ImageReplay;

// The real drivers of the three interface types, opening their ports
// through `ports`.
DriverFactory defaultDriverFactory(platform::SerialOpener& ports = platform::systemSerialOpener());

class DownloadWorker {
  public:
    // Builds the output document from what the driver yielded.
    using DocumentWriter = std::function<void(const DiveSet& dives, uint32_t options,
                                              const DocumentStamp& stamp, XmlDocument& document)>;

    // `program` names the program in the document (by default as its own
    // version block does); the time is taken when the document is built.
    // Builds the HTML report from the same dives, in `unitSystem`.
    using ReportWriter = std::function<std::string(const DiveSet& dives, int32_t unitSystem,
                                                   const DocumentStamp& stamp)>;

    explicit DownloadWorker(SessionSink& sink, DriverFactory drivers = defaultDriverFactory(),
                            DocumentWriter writer = writeDocument,
                            std::optional<ProgramVersion> program = ownProgramVersion());
    ~DownloadWorker();
    DownloadWorker(const DownloadWorker&) = delete;
    DownloadWorker& operator=(const DownloadWorker&) = delete;

    // Stores the names and splits the Options word into the probe mask (kept
    // here) and the output flags (handed to the driver).  `delay` is unused.
    void set(const std::string& portName, const std::string& outputFile, int delay,
             uint32_t options);

    // The dive store, the dump and the image for the next execute().
    void setExtras(DownloadExtras extras);
    // Asks for a report written to `path` after the output file, in the
    // units of the Options word.  A report that cannot be written is traced
    // and shown ("Can't Write Report") but changes neither the output file
    // nor the result code.
    void setReport(const std::string& path, ReportWriter writer = htmlReport);

    // The thread body: all phases; never throws.
    void execute();

    // The terminate request: drivers and cancel checks see it.
    void requestCancel() { cancel_.store(true); }
    const CancelFlag& cancelFlag() const { return cancel_; }

    // Set by finish; polled by the front end.
    bool done() const { return done_.load(); }
    // The result code; 9999 until Finish stores the real one.
    int returnValue() const { return returnValue_.load(); }

    uint32_t probeOptions() const { return probeOptions_; }
    uint32_t outputOptions() const { return outputOptions_; }
    const XmlDocument& document() const { return document_; }

  private:
    void postStatusText(const char* text);
    void postProgress(int percent);
    void postAdvice(const std::string& text);
    void finish(const char* text, int code);
    // True (after finishing with "Canceled") when a cancel was requested.
    bool cancelCheck();
    // One probe; true when the download has ended (finished) inside it.
    bool probe(const ProbeRow& row, bool& found);
    void installCallbacks();
    // Builds the document and writes the file; ends the download either way.
    void buildAndWrite();
    // The dive phase; ends the download either way.
    void downloadDives(bool resumed);

    // -image: the image's computer answers on the port, on a private virtual
    // clock in force until finish; false (finished) when the image cannot be
    // read.
    bool startReplay();
    void endReplay();
    // -new: offers the driver the dives stored of its computer; true when it
    // fetches only the newer ones.
    bool resumeFromStore();
    // -new, -store: after a successful download.
    void saveStore();
    // -dump: at the end of every run that read a computer's header; a run
    // that did not succeed never replaces an existing dump.
    void writeDump(bool succeeded);
    std::string storeDirectory() const;
    // Writes the report, if one was asked for; true when it was written.
    bool writeReport(const DiveSet& dives, const DocumentStamp& stamp);

    // Whether two names given for this run's files name one file (as
    // written, or through another path or link to it).
    static bool namesSameFile(const std::string& a, const std::string& b);
    // Whether `name` is the image being replayed (traced, `what` first).
    bool isReplayedImage(const char* what, const std::string& name) const;
    // Whether `name` is a device, a pipe or a socket other than the null
    // device, which nothing is written to (traced, `what` first).
    static bool isSpecialFile(const char* what, const std::string& name);
    // Before the port: drops a report or dump that could only be refused.
    void checkSideFiles();

    SessionSink& sink_;
    DownloadExtras extras_;
    std::unique_ptr<ImageReplay> replay_;  // -image
    DriverFactory drivers_;
    DocumentWriter writer_;
    std::optional<ProgramVersion> program_;
    std::unique_ptr<Driver> device_;
    bool headerRead_ = false;  // of device_, in this run
    XmlDocument document_;
    std::string outputFile_;
    std::string portName_;
    bool reportRequested_ = false;
    std::string reportFile_;
    ReportWriter reportWriter_;
    uint32_t probeOptions_ = 0;
    uint32_t outputOptions_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<int> returnValue_{9999};
    CancelFlag cancel_{false};
};

}  // namespace talvek
