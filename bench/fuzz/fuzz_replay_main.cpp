// Replays saved inputs through one fuzz harness without libFuzzer: every file named on the command
// line, and every file inside every folder named, goes once through LLVMFuzzerTestOneInput, in
// name order. Built with the normal compiler and run by ctest, so the corpora kept in the tree
// guard against a fault coming back even where clang is not installed. A harness reports a broken
// property by aborting, so reaching the end means every input passed. With --verdicts first, each
// input's verdicts (FuzzVerdict.h) follow its name, for comparing two builds.
#include "FuzzVerdict.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool collect(const fs::path& arg, std::vector<fs::path>& files) {
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
        std::vector<fs::path> found;
        for (const fs::directory_entry& e : fs::directory_iterator(arg, ec)) {
            if (e.is_regular_file(ec)) {
                found.push_back(e.path());
            }
        }
        if (ec) {
            std::cerr << "cannot list " << arg << ": " << ec.message() << '\n';
            return false;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
        return true;
    }
    if (fs::is_regular_file(arg, ec)) {
        files.push_back(arg);
        return true;
    }
    std::cerr << "no such file or folder: " << arg << '\n';
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--verdicts") {
        qob::fuzz::verdictsWanted() = true;
        first = 2;
    }
    if (argc <= first) {
        std::cerr << "usage: " << argv[0] << " [--verdicts] <file or folder>...\n";
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = first; i < argc; ++i) {
        if (!collect(argv[i], files)) {
            return 2;
        }
    }
    // An empty corpus would pass without proving anything: a missing folder is a setup fault.
    if (files.empty()) {
        std::cerr << "no inputs found\n";
        return 2;
    }
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << file << '\n';
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!qob::fuzz::verdictsWanted()) {
            std::cout << "replaying " << file.filename().string() << " (" << bytes.size() << " bytes)"
                      << std::endl;
        }
        qob::fuzz::verdicts().clear();
        (void)LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (qob::fuzz::verdictsWanted()) {
            std::cout << file.filename().string() << ": " << qob::fuzz::verdicts() << std::endl;
        }
    }
    std::cout << files.size() << " inputs replayed\n";
    return 0;
}
