// No exception leaves the delivery of an event: the first one is kept for
// the entry, the window's reaction runs once, and the message loop ends.
#include "frontend/qt/guarded_application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <new>
#include <stdexcept>

namespace talvek {

namespace {

class Throwing : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::bad_alloc();
        if (e->type() == QEvent::User + 1) throw std::runtime_error("second");
        return QObject::event(e);
    }
};

}  // namespace

TEST(GuardedApplication, AnExceptionFromAHandlerIsKeptAndEndsTheLoop) {
    auto* app = dynamic_cast<GuardedApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    int reactions = 0;
    app->onEscape([&] { ++reactions; });

    Throwing target;
    QEvent first(QEvent::User);
    EXPECT_NO_THROW(QCoreApplication::sendEvent(&target, &first));
    // Posted events too, delivered from the loop; the loop ends with 1.
    QCoreApplication::postEvent(&target, new QEvent(static_cast<QEvent::Type>(QEvent::User + 1)));
    EXPECT_EQ(app->exec(), 1);
    app->onEscape(nullptr);

    EXPECT_EQ(reactions, 1);
    ASSERT_TRUE(app->escaped());
    EXPECT_THROW(app->rethrowEscaped(), std::bad_alloc);  // the first one
}

}  // namespace talvek
