#include "TestPaths.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace qob::test {

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QOB_FIXTURES_DIR) / "wine" / name;
}

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "qobtest-XXXXXX").string();
    if (!mkdtemp(templ.data())) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace qob::test
