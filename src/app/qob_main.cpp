// qob: the command-line tool.
#include <iostream>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::cerr << "qob: not built yet\n";
    return 1;
}
