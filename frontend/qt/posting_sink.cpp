#include "frontend/qt/posting_sink.h"

#include <QCoreApplication>

namespace talvek {

namespace {

void post(QEvent* e) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, e);
    else
        delete e;
}

}  // namespace

void PostingSink::statusText(const std::string& text) {
    post(new StatusEvent(QString::fromStdString(text)));
}

void PostingSink::progress(int percent) {
    post(new ProgressEvent(percent));
}

void PostingSink::advice(const std::string& text) {
    post(new AdviceEvent(QString::fromStdString(text)));
}

void PostingSink::finished(int) {
    post(new FinishedEvent);
}

}  // namespace talvek
