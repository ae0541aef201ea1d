// A name typed into a save dialog without an extension gets the one of the kind saved.
#include "forms/SaveName.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

TEST(SaveName, AddsTheExtensionOnlyWhereTheNameHasNone) {
    const struct {
        const char* typed;
        const char* saved;
    } cases[] = {
        {"/home/anna/backup", "/home/anna/backup.qob"},
        {"/home/anna/backup.qob", "/home/anna/backup.qob"},
        {"/home/anna/backup.QOB", "/home/anna/backup.QOB"},
        {"/home/anna/backup.bak", "/home/anna/backup.bak"}, // the user's own choice stays
        {"/home/anna.d/backup", "/home/anna.d/backup.qob"}, // a dot in a folder is no extension
        {"/home/anna/.backup", "/home/anna/.backup.qob"},   // nor a leading dot
        {"C:\\Backups\\weekly", "C:\\Backups\\weekly.qob"},
        {"weekly", "weekly.qob"},
        {"/home/anna/", "/home/anna/"}, // no name at all: left to the writer's error
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withDefaultExtension(c.typed, ".qob"), c.saved) << c.typed;
    }
}

} // namespace
} // namespace qob
