#include "app/download_worker.h"

#include <cerrno>
#include <exception>
#include <stdexcept>

#include "device/errors.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/os.h"
#include "trace/trace.h"

namespace {

// Trace and status arguments: a text that does not convert becomes empty
// rather than an exception inside a handler.
std::string narrow(const wchar_t* text) {
    try {
        return Trace::ToNarrow(text);
    } catch (...) {
        return std::string();
    }
}

}  // namespace

int ExitStatusFor(int code) {
    if (code >= 0 && code <= 255) return code;
    switch (code) {
        case -1:
            return 255;
        case 666:
            return 154;
        case 9999:
            return 130;
        default:
            return 1;
    }
}

TDownloadWorker::TDownloadWorker(TWorkerSink& sink, TDriverFactory drivers)
    : sink_(sink), drivers_(std::move(drivers)) {
    Trace::Write(Trace::Detail, "sAPIThread::Create()");
}

TDownloadWorker::~TDownloadWorker() {
    device_.reset();
    Trace::Write(Trace::Detail, "sAPIThread::Destroy()");
}

void TDownloadWorker::Set(const std::wstring& portName, const std::wstring& outputFile,
                          int /*delay*/, uint32_t options) {
    portName_ = portName;
    outputFile_ = outputFile;
    probeOptions_ = options & 0xCF;
    outputOptions_ = options & 0xFFFFFF30;
    Trace::Write(Trace::Detail, "sAPIThread::Set() with: file=\"%s\" port=\"%s\" Options=0x%X ",
                 narrow(outputFile_.c_str()).c_str(), narrow(portName_.c_str()).c_str(), options);
}

void TDownloadWorker::PostStatusText(const wchar_t* text) {
    try {
        sink_.StatusText(narrow(text));
    } catch (...) {
        // Showing a status is never worth ending the download for.
    }
}

void TDownloadWorker::PostProgress(int percent) {
    try {
        sink_.Progress(percent);
    } catch (...) {
    }
}

void TDownloadWorker::Finish(const wchar_t* text, int code) {
    PostStatusText(text);
    // Leaves the last text readable before the window closes.
    platform::sleepMs(1000);
    returnValue_.store(code);
    done_.store(true);
    device_.reset();  // closes the serial port
}

bool TDownloadWorker::CancelCheck() {
    if (!cancel_.load()) return false;
    Trace::Write(Trace::Info, "Terminate() Raised");
    Finish(L"Canceled", 9999);
    return true;
}

void TDownloadWorker::InstallCallbacks() {
    device_->SetCallbacks([this](int percent) { PostProgress(percent); },
                          [this](const wchar_t* text) { PostStatusText(text); }, nullptr);
}

bool TDownloadWorker::Probe(int type, const TDriverFactory::Make& make, bool& found) {
    static const wchar_t* const searching[] = {
        L"Searching for Device (1)", L"Searching for Device (2)", L"Searching for Device (3)"};
    PostStatusText(searching[type - 1]);
    try {
        if (!make) throw sAPI::Device_Not_Present(sAPI::ErrorText(17));
        device_ = make(portName_, &cancel_);
        if (!device_) throw sAPI::Device_Not_Present(sAPI::ErrorText(17));
        InstallCallbacks();
        device_->Open(4);
        if (type == 1) Trace::Write(Trace::Info, "Found Device Type1");
        if (type == 2) Trace::Write(Trace::Info, "Found Device Type2");
        if (type == 3) Trace::Write(Trace::Info, "Found Device Type 3");
        found = true;
    } catch (sAPI::Device_Not_Present&) {
        if (type == 1) Trace::Write(Trace::Info, "Did Not Find Device Type 1");
        if (type == 2) Trace::Write(Trace::Info, "Did Not Find Device Type 2");
        if (type == 3) Trace::Write(Trace::Info, "Did Not Find Device Type C2V2");
        device_.reset();
    } catch (sAPI::Error& e) {
        std::string message = narrow(e.what());
        if (type == 1)
            Trace::Write(Trace::Error, "Device Type1: %s", message.c_str());
        else
            Trace::Write(Trace::Error, "%s", message.c_str());
        Finish(e.what(), e.code());
        return true;
    } catch (...) {
        int error = platform::lastError();
        if (type == 1) {
            Trace::Write(Trace::Error, "Unknown Exception searching for Device 1 - error = %d",
                         error);
            Finish(L"Runtime Error", 1);
        } else if (type == 2) {
            Trace::Write(Trace::Error, "Unknown Exception searching for Device 2 - error = %d",
                         error);
            Finish(L"Runtime Error", 1);
        } else {
            Trace::Write(Trace::Error, "Unknown Exception searching for Device C2V2 - error = %d",
                         error);
            Finish(L"Unknown Error", -1);
        }
        return true;
    }
    return false;
}

void TDownloadWorker::Execute() {
    try {
        bool found = false;
        PostProgress(0);

        // Empty names end the run before any port is touched.
        if (outputFile_.empty()) {
            Trace::Write(Trace::Error, "No Output File Specified");
            Finish(L"Can't Open File", 1);
            return;
        }
        if (portName_.empty()) {
            Trace::Write(Trace::Error, "No Comm Port Specified");
            Finish(sAPI::ErrorText(22), 2);
            return;
        }

        if (!found && (probeOptions_ & 0x01) && Probe(1, drivers_.type1, found)) return;
        if (CancelCheck()) return;
        if (!found && (probeOptions_ & 0x02) && Probe(2, drivers_.type2, found)) return;
        if (CancelCheck()) return;
        if (!found && (probeOptions_ & 0x04) && Probe(3, drivers_.type3, found)) return;
        if (CancelCheck()) return;

        PostProgress(0);
        if (!found) {
            Finish(L"Device Not Found", 17);
            return;
        }

        PostStatusText(L"Downloading Computer Data");
        try {
            Trace::Write(Trace::Info, "Downloading Device");
            device_->ReadHeader();
            PostProgress(100);
            platform::sleepMs(100);
        } catch (sAPI::Error& e) {
            Trace::Write(Trace::Error, "Download Device: %s", narrow(e.what()).c_str());
            Finish(e.what(), e.code());
            return;
        } catch (w_std::runtime_error& e) {
            Trace::Write(Trace::Error, "Download Device: runtime_error %s",
                         narrow(e.what()).c_str());
            Finish(e.what(), 666);
            return;
        } catch (...) {
            Trace::Write(Trace::Error, "Download Device: Unexpected Error = %d",
                         platform::lastError());
            Finish(L"Runtime Error", 1);
            return;
        }
        if (CancelCheck()) return;

        PostStatusText(L"Downloading Dive Profiles");
        PostProgress(0);
        for (unsigned n = 1;; ++n) {
            try {
                Trace::Write(Trace::Info, "Downloading Dive %u", n);
                if (device_->NextDive()) {
                    Trace::Write(Trace::Info, "Download Complete");
                } else {
                    Trace::Write(Trace::Debug, "Download Aborted");
                    BuildAndWrite();
                    return;
                }
            } catch (sAPI::Error& e) {
                Trace::Write(Trace::Error, "Download Dive: %s with code %d",
                             narrow(e.what()).c_str(), e.code());
                Finish(e.what(), e.code());
                return;
            } catch (w_std::runtime_error& e) {
                Trace::Write(Trace::Error, "Download Dive:runtime_error %s ",
                             narrow(e.what()).c_str());
                Finish(e.what(), 666);
                return;
            } catch (...) {
                Trace::Write(Trace::Error, "Download Dive: Unexpected Error = %d",
                             platform::lastError());
                Finish(L"Runtime Error", 1);
                return;
            }
            if (CancelCheck()) return;
        }
    } catch (...) {
        // Nothing may escape the thread body; only a failure of the trace or
        // status plumbing itself can get here.
        if (!done_.load()) Finish(L"Runtime Error", 1);
    }
}

void TDownloadWorker::BuildAndWrite() {
    PostStatusText(L"Building Data File");
    device_->MakeOutput(document_, outputOptions_);

    std::string name;
    bool named = true;
    try {
        name = Trace::ToNarrow(outputFile_.c_str());
    } catch (const std::exception&) {
        named = false;  // a name that does not convert cannot be opened
    }
    platform::ReplaceResult result;
    if (named) {
        const char* bytes = document_.OutputBuffer();
        result =
            platform::replaceFile(name, bytes ? bytes : "", bytes ? document_.OutputLength() : 0);
    } else {
        result.stage = platform::ReplaceStage::Create;
        result.error = EILSEQ;
    }
    if (!result.ok()) {
        if (result.stage == platform::ReplaceStage::Write)
            Trace::Write(Trace::Error, "Can't Write %s with error :%d (%s)", name.c_str(),
                         result.error, platform::errorText(result.error).c_str());
        else
            Trace::Write(Trace::Error, "Can't Open %s with error :%d", name.c_str(), result.error);
        Finish(L"Can't Open File", 1);
        return;
    }
    PostProgress(100);
    Finish(L"Download Successfull", 0);
    Trace::Write(Trace::Info, "Success: Exiting with code %d", returnValue_.load());
}
