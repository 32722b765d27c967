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
#include "session/interface_table.h"
#include "session/request.h"
#include "session/session_sink.h"
#include "session/version_information.h"
#include "xml/xml_document.h"

namespace talvek {

class ImageReplay;

// Builds the output document from what the driver yielded; `driverName`
// names that driver in the trace.
using DocumentWriter =
    std::function<void(const DiveSet& dives, const OutputChoice& choice, const DocumentStamp& stamp,
                       XmlDocument& document, const char* driverName)>;
// Builds the HTML report from the same dives, in `units`.
using ReportWriter =
    std::function<std::string(const DiveSet& dives, UnitSystem units, const DocumentStamp& stamp)>;

// What a worker is built from besides its sink; the defaults are the
// program's own.
struct WorkerParts {
    InterfaceTable interfaces = standardInterfaces();
    // Where ports are opened; null for the system's serial ports.
    platform::SerialOpener* ports = nullptr;
    DocumentWriter writer = writeDocument;
    ReportWriter report = htmlReport;
    std::optional<ProgramVersion> program = ownProgramVersion();
};

class DownloadWorker {
  public:
    using DocumentWriter = talvek::DocumentWriter;
    using ReportWriter = talvek::ReportWriter;
    using Parts = WorkerParts;

    // `program` of the parts names the program in the document (by default
    // as its own version block does); the time is taken when the document
    // is built.

    explicit DownloadWorker(SessionSink& sink, Parts parts = {});
    ~DownloadWorker();
    DownloadWorker(const DownloadWorker&) = delete;
    DownloadWorker& operator=(const DownloadWorker&) = delete;

    // What the next execute() does.  A report is written after the output
    // file, in the request's units; one that cannot be written is traced
    // and shown ("Can't Write Report") but changes neither the output file
    // nor the result code.
    void set(Request request);

    // The thread body: all phases; never throws.
    void execute();

    // The terminate request: drivers and cancel checks see it.
    void requestCancel() { cancel_.store(true); }
    const CancelFlag& cancelFlag() const { return cancel_; }

    // Set by finish; polled by the front end.
    bool done() const { return done_.load(); }
    // The result code; 9999 until Finish stores the real one.
    int returnValue() const { return returnValue_.load(); }

    const Request& request() const { return request_; }
    const XmlDocument& document() const { return document_; }

  private:
    void postStatusText(const char* text);
    void postProgress(int percent);
    void postAdvice(const std::string& text);
    void finish(const char* text, int code);
    // True (after finishing with "Canceled") when a cancel was requested.
    bool cancelCheck();
    // One probe; true when the download has ended (finished) inside it.
    bool probe(const InterfaceRow& row, bool& found);
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
    // -dump: at the end of every run that found a computer.
    void writeDump();
    std::string storeDirectory() const;
    // Writes the report, if one was asked for; true when it was written.
    bool writeReport(const DiveSet& dives, const DocumentStamp& stamp);

    // Whether two names given for this run's files name one file (as
    // written, or through another path or link to it).
    static bool namesSameFile(const std::string& a, const std::string& b);

    SessionSink& sink_;
    Request request_;
    std::unique_ptr<ImageReplay> replay_;  // -image
    InterfaceTable interfaces_;
    platform::SerialOpener* ports_;
    DocumentWriter writer_;
    ReportWriter reportWriter_;
    std::optional<ProgramVersion> program_;
    std::unique_ptr<Driver> device_;
    const InterfaceRow* deviceRow_ = nullptr;  // the interface type of device_
    XmlDocument document_;
    std::atomic<bool> done_{false};
    std::atomic<int> returnValue_{9999};
    CancelFlag cancel_{false};
};

}  // namespace talvek
