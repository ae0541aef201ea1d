// qob: the command-line tool for people and scripts.
#include "app/cli/Cli.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return qob::cli::runCli(args, std::cout, std::cerr, qob::cli::Console{STDERR_FILENO});
    } catch (const std::exception& e) {
        std::cerr << "qob: " << e.what() << "\n";
        return 1;
    }
}
