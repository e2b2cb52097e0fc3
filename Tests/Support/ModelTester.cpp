#include "ModelTester.hpp"

#include <gtest/gtest.h>

#include <QtGlobal>
#include <mutex>

namespace zelvane::testsupport {
namespace {

// The tester reports through qWarning, so the messages of its category are collected while any
// watch is active; everything else goes to the handler that was there before.
class ComplaintsLocked final {
public:
    static ComplaintsLocked& shared() {
        static ComplaintsLocked c;
        return c;
    }
    void begin() {
        std::lock_guard lock(mutex_);
        if (watches_++ == 0) previous_ = qInstallMessageHandler(&ComplaintsLocked::handle);
    }
    void end() {
        std::lock_guard lock(mutex_);
        if (--watches_ == 0) qInstallMessageHandler(previous_);
    }
    QStringList take() {
        std::lock_guard lock(mutex_);
        return std::exchange(messages_, {});
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        ComplaintsLocked& self = shared();
        const bool fromTester = context.category && qstrcmp(context.category, "qt.modeltest") == 0;
        QtMessageHandler previous = nullptr;
        {
            std::lock_guard lock(self.mutex_);
            if (fromTester && type != QtDebugMsg && type != QtInfoMsg) {
                self.messages_ << message;
                return;
            }
            previous = self.previous_;
        }
        if (previous) previous(type, context, message);
    }

    std::mutex mutex_;
    int watches_ = 0;
    QtMessageHandler previous_ = nullptr;
    QStringList messages_;
};

}  // namespace

ModelTester::ModelTester(QAbstractItemModel* model) {
    ComplaintsLocked::shared().begin();
    tester_ = std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::Warning);
}

ModelTester::~ModelTester() {
    tester_.reset();
    complaints();
    ComplaintsLocked::shared().end();
}

QStringList ModelTester::complaints() {
    const QStringList found = ComplaintsLocked::shared().take();
    for (const QString& c : found) ADD_FAILURE() << "item model check: " << c.toStdString();
    return found;
}

}  // namespace zelvane::testsupport
