#include "shell/startup/startup.h"

int main(int argc, char** argv) {
    return kvr::runProgram(argc, argv);
}
