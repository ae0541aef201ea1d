// Writes one archive with the archive component, as a backup run does, for timing by the driver.
#include "archive/Archive.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <archive> <level 0-9> <password or -> <files...>\n", argv[0]);
        return 2;
    }
    qob::Archive zip1;
    if (auto s = zip1.setCompressionLevel(std::atoi(argv[2])); !s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        return 2;
    }
    std::string password = argv[3];
    if (auto s = zip1.createArchive(argv[1]); !s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        if (auto s = zip1.addFiles(argv[i]); !s) {
            std::fprintf(stderr, "%s\n", s.message.c_str());
            return 1;
        }
    }
    zip1.setProtected(password != "-");
    zip1.setPassword(password);
    qob::Status s = zip1.writeArchive();
    if (!s) {
        std::fprintf(stderr, "%s\n", s.message.c_str());
        return 1;
    }
    return 0;
}
