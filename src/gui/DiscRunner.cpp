#include "gui/DiscRunner.h"

#include <QEventLoop>

namespace qob::gui {

DiscRunner::DiscRunner(QObject* parent)
    : QObject(parent), call_([this](std::function<void()> call) {
          QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      }) {}

DiscRunner::~DiscRunner() = default;

bool DiscRunner::start(Work work, disc::DiscEvents& windowSide, std::function<void()> afterEvent,
                       std::function<void(const Status&)> done) {
    return call_.start(std::move(work), windowSide, std::move(afterEvent),
                       [this, done = std::move(done)](const Status& result) {
                           if (done) {
                               done(result);
                           }
                           emit finished();
                       });
}

void DiscRunner::waitUntilFinished() {
    if (!running()) {
        return;
    }
    QEventLoop loop;
    connect(this, &DiscRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace qob::gui
