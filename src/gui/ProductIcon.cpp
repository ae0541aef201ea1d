#include "gui/ProductIcon.h"

#include <QtGlobal>

// The resources live in a static library: the linker keeps them only when something names their
// initialiser, which must be called outside any namespace.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace qob::gui {

QIcon productIcon() {
    static const bool loaded = (initIconResources(), true);
    (void)loaded;
    return QIcon(":/icons/quire-outlook-backup.svg");
}

} // namespace qob::gui
