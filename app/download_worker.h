#pragma once
// The download worker: finds a dive computer by probing the three interface
// types in order, reads its header and its dives, lets the driver build the
// output document and writes that document to the output file.  Every path
// ends in one Finish call that leaves a last status text and a result code.
//
// This is the thread body without the thread: the window runs it on a worker
// thread (gui_worker_thread.h); tests run it in process with fake drivers.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dcdml/dcdml_document.h"
#include "device/device.h"

// Where the worker's status texts and progress go.  Called on the worker
// thread; an implementation hands the values over to whoever shows them.
class TWorkerSink {
  public:
    virtual ~TWorkerSink() = default;
    // A status text (UTF-8).
    virtual void StatusText(const std::string& text) = 0;
    // A progress value in percent, 0 to 100.
    virtual void Progress(int percent) = 0;
};

// Makes the driver of each interface type from the port name and the cancel
// flag; construction opens the port and throws when it cannot.
struct TDriverFactory {
    using Make = std::function<std::unique_ptr<sAPI::Device>(const std::wstring& port,
                                                             const sAPI::CancelFlag* cancel)>;
    Make type1;  // sAPI::Device_Type1
    Make type2;  // sAPI::Device_TypeD
    Make type3;  // sAPI::Device_TypeC2V2
};

// The real drivers of the three interface types.
TDriverFactory DefaultDriverFactory();

class TDownloadWorker {
  public:
    explicit TDownloadWorker(TWorkerSink& sink, TDriverFactory drivers = DefaultDriverFactory());
    ~TDownloadWorker();
    TDownloadWorker(const TDownloadWorker&) = delete;
    TDownloadWorker& operator=(const TDownloadWorker&) = delete;

    // Stores the names and splits the Options word into the probe mask (kept
    // here) and the output flags (handed to the driver).  `delay` is unused.
    void Set(const std::wstring& portName, const std::wstring& outputFile, int delay,
             uint32_t options);

    // The thread body: all phases; never throws.
    void Execute();

    // The terminate request: drivers and cancel checks see it.
    void RequestCancel() { cancel_.store(true); }
    const sAPI::CancelFlag& cancelFlag() const { return cancel_; }

    // Set by Finish; polled by the window.
    bool done() const { return done_.load(); }
    // The result code; 9999 until Finish stores the real one.
    int returnValue() const { return returnValue_.load(); }

    uint32_t probeOptions() const { return probeOptions_; }
    uint32_t outputOptions() const { return outputOptions_; }
    const DCDMLDocument& document() const { return document_; }

  private:
    void PostStatusText(const wchar_t* text);
    void PostProgress(int percent);
    void Finish(const wchar_t* text, int code);
    // True (after finishing with "Canceled") when a cancel was requested.
    bool CancelCheck();
    // One probe; true when the download has ended (finished) inside it.
    bool Probe(int type, const TDriverFactory::Make& make, bool& found);
    void InstallCallbacks();
    // Builds the document and writes the file; ends the download either way.
    void BuildAndWrite();

    TWorkerSink& sink_;
    TDriverFactory drivers_;
    std::unique_ptr<sAPI::Device> device_;
    DCDMLDocument document_;
    std::wstring outputFile_;
    std::wstring portName_;
    uint32_t probeOptions_ = 0;
    uint32_t outputOptions_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<int> returnValue_{9999};
    sAPI::CancelFlag cancel_{false};
};

// The POSIX exit status (8 bits) for a result code: 0..255 as they are,
// -1 -> 255, 666 -> 154, 9999 (cancelled) -> 130, anything else -> 1.
int ExitStatusFor(int code);
