// The main window's first paint: quiremail's own window start-up (runWindows, as the program runs
// it, on the target system WINEPREFIX names), ended at the first paint event of the main window.
// Prints the milliseconds from main() to that paint and how many profiles the window listed then;
// the process ends there, so its wall time is the start-up's whole.
// Usage: WINEPREFIX=PREFIX qob_bench_first_paint
#include "app/WindowRun.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const auto gStart = std::chrono::steady_clock::now();

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Paint && widget && widget->window()->inherits("qob::gui::MainWindow")) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gStart).count();
            const auto* profiles = widget->window()->findChild<QComboBox*>("sourceProfileCombo");
            std::printf("first paint %.1f ms after main(), profiles listed then: %d\n", ms,
                        profiles ? profiles->count() : -1);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }
};

void watchForTheFirstPaint() {
    qApp->installEventFilter(new FirstPaint);
}
Q_COREAPP_STARTUP_FUNCTION(watchForTheFirstPaint)

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    qob::runWindows(argc, argv, {});
    std::fprintf(stderr, "qob_bench_first_paint: the window closed without being painted\n");
    return 1;
}
