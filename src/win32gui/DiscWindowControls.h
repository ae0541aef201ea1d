#pragma once
// What the disc window's two files share: the places of the icons in its image list and the option
// boxes with the form's field each shows.
#include "forms/DiscForm.h"
#include "win32gui/ResourceIds.h"

#include <string>

namespace qob::win32gui::disc_window {

// The image list's icons, by the names the form gives.
enum Icon { kIconCd, kIconClosedFolder, kIconOpenFolder, kIconFile };

inline int iconOf(const std::string& image) {
    if (image == "CD") {
        return kIconCd;
    }
    return image == "OPENFOLDER" ? kIconOpenFolder : kIconClosedFolder;
}

struct OptionBox {
    int id;
    bool DiscForm::*field;
};
// Each option box and the form's field it shows ("Use File Dates" reaches the form through its
// click handler, the others are only read at the next write).
inline constexpr OptionBox kOptionBoxes[] = {{IDC_USE_FILE_DATES, &DiscForm::useFileDates},
                                             {IDC_AUTO_VERIFY, &DiscForm::autoVerify},
                                             {IDC_MODE2XA, &DiscForm::mode2xa},
                                             {IDC_CACHE_IMAGE, &DiscForm::cacheImage},
                                             {IDC_TEST_WRITE, &DiscForm::testWrite},
                                             {IDC_FINALIZE, &DiscForm::finalizeDisc},
                                             {IDC_BUFFER_PROTECT, &DiscForm::bufferProtect},
                                             {IDC_DISC_AT_ONCE, &DiscForm::discAtOnce}};

} // namespace qob::win32gui::disc_window
