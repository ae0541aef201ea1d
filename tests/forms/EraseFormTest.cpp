// The erase window's form against the simulated recorder: the checks before an erase, its stages,
// and a rewritable disc that is erased and then written.
#include "forms/EraseForm.h"
#include "FakeDialogs.h"
#include "SimulatedRecorder.h"
#include "forms/DiscForm.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

using namespace disc;

struct EraseCase {
    const char* name;
    MediaType media;
    bool rewritable;
    Capability capability;
    bool eraseFails;
    bool refuseStart;
    std::vector<std::string> messages;
    std::string status;
    bool closes;
};

TEST(EraseForm, ChecksStagesAndMessages) {
    const EraseCase cases[] = {
        {"erased",
         MediaType::CdRw,
         true,
         Capability::EraseCdRw,
         false,
         false,
         {"Erase Completed!!!"},
         "Erase operation complete!!!",
         true},
        {"no medium",
         MediaType::None,
         false,
         Capability::EraseCdRw,
         false,
         false,
         {"No Media Loaded."},
         "",
         true},
        {"write-once medium",
         MediaType::DvdR,
         false,
         Capability::EraseDvdRw,
         false,
         false,
         {"The current media is not re-writable."},
         "",
         true},
        {"drive lacks the pairing capability",
         MediaType::DvdRw,
         true,
         Capability::EraseCdRw,
         false,
         false,
         {"Selected drive does not support re-writable discs of this format."},
         "",
         true},
        {"engine refuses",
         MediaType::BdRe,
         true,
         Capability::EraseBdRe,
         false,
         true,
         {"Could not start Erase operation!!!\nthe simulated drive refuses to erase"},
         "",
         true},
        {"device error",
         MediaType::DvdRam,
         true,
         Capability::EraseDvdRam,
         true,
         false,
         {"Device Error: (5)   The disc could not be erased.\n(7) Erase error (drive says so)"},
         "Error Erasing Disc!!!",
         true},
    };
    for (const EraseCase& c : cases) {
        test::FakeDialogs dialogs;
        test::SimulatedRecorder engine;
        engine.drives = {test::simulatedDrive("/dev/sr0", c.media, c.rewritable, 1000)};
        engine.drives[0].capabilities = {c.capability};
        engine.drives[0].eraseFails = c.eraseFails;
        engine.refuseStart = c.refuseStart;
        EraseForm form(dialogs, engine, "/dev/sr0");
        EXPECT_TRUE(form.quickErase);
        if (form.eraseClick()) {
            EXPECT_FALSE(form.queryClose()) << c.name << ": no closing while the erase is asked for";
            form.eraseReturned(engine.erase(form.address(), form.quickErase, form));
        }
        EXPECT_EQ(dialogs.texts(), c.messages) << c.name;
        EXPECT_EQ(form.statusText, c.status) << c.name;
        EXPECT_EQ(form.closeRequested, c.closes) << c.name;
        EXPECT_TRUE(form.queryClose() && form.eraseEnabled && form.cancelEnabled) << c.name;
    }
}

// Busy from the start notice: nothing closes the window until the end.
struct BusyProbe : EraseForm {
    using EraseForm::EraseForm;
    std::vector<bool> closable;
    void eraseStatus(EraseStage stage, int percent) override {
        EraseForm::eraseStatus(stage, percent);
        closable.push_back(queryClose() || cancelEnabled || eraseEnabled);
    }
};

TEST(EraseForm, ARewritableDiscIsErasedThenWritten) {
    test::FakeDialogs dialogs;
    test::SimulatedRecorder engine;
    engine.drives = {test::simulatedDrive("/dev/sr0", MediaType::DvdPlusRw, true, 2295104)};
    engine.drives[0].capabilities = {Capability::EraseDvdPlusRw};
    engine.drives[0].media.writable = false; // full from an earlier backup
    engine.drives[0].media.erasable = true;
    DiscForm disc(dialogs, engine);
    ASSERT_TRUE(disc.formLoad());
    auto write = [&] {
        if (auto job = disc.writeDiscClick()) {
            disc.writeReturned(engine.write(job->address, job->image, job->options, disc, disc.stopToken()));
        }
    };
    write();
    const std::optional<std::string> address = disc.eraseDiscClick();
    ASSERT_TRUE(address);
    BusyProbe erase(dialogs, engine, *address);
    erase.quickErase = false;
    ASSERT_TRUE(erase.eraseClick());
    erase.eraseReturned(engine.erase(erase.address(), erase.quickErase, erase));
    EXPECT_EQ(erase.closable, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(engine.erases, std::vector<bool>{false});
    write();
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{kDiscInsertMediaMessage, "Erase Completed!!!",
                                                         kDiscWriteCompleteMessage}));
}

} // namespace
} // namespace qob
