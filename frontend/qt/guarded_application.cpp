#include "frontend/qt/guarded_application.h"

namespace talvek {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!escaped_) {
            escaped_ = std::current_exception();
            try {
                if (reaction_) reaction_();
            } catch (...) {
            }
        }
        QCoreApplication::exit(1);
        return false;
    }
}

void GuardedApplication::rethrowEscaped() const {
    if (escaped_) std::rethrow_exception(escaped_);
}

}  // namespace talvek
