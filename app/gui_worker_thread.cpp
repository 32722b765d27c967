#include "app/gui_worker_thread.h"

#include <QCoreApplication>

TsAPIThread::TsAPIThread(TDriverFactory drivers) : core_(*this, std::move(drivers)) {}

TsAPIThread::~TsAPIThread() {
    Terminate();
    wait();
}

int TsAPIThread::WaitFor() {
    wait();
    return core_.returnValue();
}

void TsAPIThread::run() {
    core_.Execute();
}

void TsAPIThread::StatusText(const std::string& text) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new TStatusEvent(QString::fromStdString(text)));
}

void TsAPIThread::Progress(int percent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new TProgressEvent(percent));
}
