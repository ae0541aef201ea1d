// How long the main window takes to open on a target system: from the start of main() until the
// window is shown with its profiles listed and the first events handled, on the offscreen platform.
// Prints the phases and the total in milliseconds, and how many profiles the window lists.
// Usage: qob_bench_window_load PREFIX
#include "FakeDialogs.h"
#include "app/cli/Target.h"
#include "forms/MainForm.h"
#include "gui/MainWindow.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace qob;

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const auto ms = [](auto from) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
    };
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PREFIX\n", argv[0]);
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    const double qtMs = ms(start);

    test::FakeDialogs dialogs; // a message during the load is answered at once and reported below
    std::string error;
    auto phase = std::chrono::steady_clock::now();
    auto target = cli::Target::open(std::string(argv[1]), dialogs, error);
    if (!target) {
        std::fprintf(stderr, "qob_bench_window_load: %s\n", error.c_str());
        return 1;
    }
    const double targetMs = ms(phase);
    phase = std::chrono::steady_clock::now();
    MainForm form(target->platform());
    gui::MainWindow window(form, {}, argv[1]);
    window.show();
    window.load();
    QApplication::processEvents();
    const double loadMs = ms(phase);
    const double totalMs = ms(start);
    for (const std::string& text : dialogs.texts()) {
        std::fprintf(stderr, "message during the load: %s\n", text.c_str());
    }
    std::printf("qt %.1f ms, target %.1f ms, window+load %.1f ms, total %.1f ms, profiles %zu\n", qtMs,
                targetMs, loadMs, totalMs, form.cbSource.items.size());
    return 0;
}
