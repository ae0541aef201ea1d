// How long the main window's event loop stalls while a backup and a restore of large data files
// run through it: a 5 ms timer on the window's thread records the longest gap between its turns.
// A stall longer than about 100 ms is seen by the user (the window neither repaints nor moves), so
// that is the goal. The run times are printed too.
// Usage: qob_bench_gui PREFIX PROFILE BACKUP_FILE (run by bench/gui/run.sh on a prepared prefix)
#include "FakeDialogs.h"
#include "app/cli/Target.h"
#include "backup/BackupJob.h"
#include "forms/MainForm.h"
#include "gui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace qob;

namespace {

struct Figures {
    double seconds = 0;
    double longestGapMs = 0;
    long turns = 0;
};

// Runs `start` and the event loop until `running` turns false, timing the loop's turns meanwhile.
Figures measure(const std::function<void()>& start, const std::function<bool()>& running) {
    Figures figures;
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        figures.longestGapMs = std::max(figures.longestGapMs, static_cast<double>(now - last) / 1e6);
        last = now;
        ++figures.turns;
        if (!running()) {
            loop.quit();
        }
    });
    clock.start();
    beat.start(5);
    start();
    last = clock.nsecsElapsed(); // the start itself is the click's work, measured apart
    const double startMs = static_cast<double>(last) / 1e6;
    loop.exec();
    figures.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    figures.longestGapMs = std::max(figures.longestGapMs, startMs);
    return figures;
}

void report(const char* what, const Figures& f, const std::filesystem::path& file) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file, ec);
    std::printf("%-8s %8.1f s  longest event-loop gap %7.1f ms  (%ld turns)  %s: %.0f MB\n", what, f.seconds,
                f.longestGapMs, f.turns, file.filename().c_str(),
                ec ? 0.0 : static_cast<double>(bytes) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PREFIX PROFILE BACKUP_FILE\n", argv[0]);
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    const std::string profile = argv[2];
    const std::filesystem::path backup = argv[3];

    test::FakeDialogs dialogs; // every message answered with OK or Yes at once
    std::string error;
    auto target = cli::Target::open(std::string(argv[1]), dialogs, error);
    if (!target) {
        std::fprintf(stderr, "qob_bench_gui: %s\n", error.c_str());
        return 1;
    }
    MainForm form(target->platform());
    gui::MainWindow window(form, {}, argv[1]);
    window.show();
    window.load();
    const auto& profiles = form.cbSource.items;
    const auto found = std::find(profiles.begin(), profiles.end(), profile);
    if (found == profiles.end()) {
        std::fprintf(stderr, "qob_bench_gui: no profile %s\n", profile.c_str());
        return 1;
    }
    form.selectSource(static_cast<int>(found - profiles.begin()));
    form.selectAllItems(false);
    form.targetFileEdited(backup.string());

    const auto lastMessage = [&] { return dialogs.texts().empty() ? std::string() : dialogs.texts().back(); };
    const Figures backupFigures = measure([&] { window.startBackup(); }, [&] { return window.jobRunning(); });
    report("backup", backupFigures, backup);
    if (lastMessage().rfind(kBackupCompleted, 0) != 0) {
        std::fprintf(stderr, "qob_bench_gui: the backup did not complete:\n%s\n", lastMessage().c_str());
        return 1;
    }

    QElapsedTimer opening;
    opening.start();
    window.openBackupFile(backup);
    std::printf("%-8s %8.1f s  (the backup's information read on the window's thread)\n", "open",
                static_cast<double>(opening.nsecsElapsed()) / 1e9);
    form.selectAllItems(true);
    const Figures restoreFigures =
        measure([&] { window.startRestore(false); }, [&] { return window.jobRunning(); });
    report("restore", restoreFigures, backup);
    if (lastMessage().rfind("The Restore was Completed!", 0) != 0) {
        std::fprintf(stderr, "qob_bench_gui: the restore did not complete:\n%s\n", lastMessage().c_str());
        return 1;
    }
    const bool met = backupFigures.longestGapMs <= 100 && restoreFigures.longestGapMs <= 100;
    std::printf("goal: longest gap <= 100 ms: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 3;
}
