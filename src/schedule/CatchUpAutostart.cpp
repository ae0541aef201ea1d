#include "schedule/CatchUpAutostart.h"

namespace qob {

CatchUpAutostart::CatchUpAutostart(std::filesystem::path folder, std::filesystem::path executable)
    : XdgAutostart(
          std::move(folder), std::move(executable),
          Entry{kCatchUpAutostartFileName, "catch-up entry", "Quire Outlook Backup (missed weekly backup)",
                "Makes up the weekly backup when the computer was off at its time", kCatchUpOption, true}) {}

} // namespace qob
