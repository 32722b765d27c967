#include "frontend/qt/download_thread.h"

#include <QCoreApplication>

namespace talvek {

DownloadThread::DownloadThread(DriverFactory drivers) : core_(*this, std::move(drivers)) {}

DownloadThread::~DownloadThread() {
    terminate();
    wait();
}

int DownloadThread::waitFor() {
    wait();
    return core_.returnValue();
}

void DownloadThread::run() {
    core_.execute();
}

void DownloadThread::statusText(const std::string& text) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new StatusEvent(QString::fromStdString(text)));
}

void DownloadThread::progress(int percent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new ProgressEvent(percent));
}

}  // namespace talvek
