// quiremail: the program. With a command line it runs the automatic backup and quits.
#include <iostream>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::cerr << "quiremail: not built yet\n";
    return 1;
}
