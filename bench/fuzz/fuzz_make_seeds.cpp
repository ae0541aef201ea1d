// Writes small real backup files (one plain, one protected) into the folder given, as seeds for
// fuzz_backup_file.
#include "RestoreFixture.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds <folder>\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    qob::test::BackupSpec spec = qob::test::minimalSpec("00001100000");
    spec.entries.push_back({"Work.htm", "<html>signature</html>"});
    spec.entries.push_back({"Plain.stationery", std::string(300, 'x')});
    qob::test::addItemLine(spec, "BackupSignatures", "Work.htm");
    qob::test::addItemLine(spec, "BackupStationery", "Plain.stationery");
    qob::test::writeBackup(folder / "plain.qob", spec);
    spec.password = "fuzz-password";
    qob::test::writeBackup(folder / "protected.qob", spec);
    qob::test::BackupSpec bare = qob::test::minimalSpec("00000000000");
    qob::test::writeBackup(folder / "bare.qob", bare);
    return 0;
}
