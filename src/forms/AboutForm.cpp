#include "forms/AboutForm.h"

#include "outlook/AppState.h"

// The build passes the project's version to this file alone.
#ifndef QOB_PRODUCT_VERSION
#error "QOB_PRODUCT_VERSION must be defined by the build"
#endif

namespace qob {

std::string productVersion() {
    return QOB_PRODUCT_VERSION;
}

std::string mainWindowCaption() {
    return std::string(kApplicationTitle) + " " + productVersion();
}

} // namespace qob
