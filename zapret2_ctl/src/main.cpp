#include "commands.h"

int main(int argc, char** argv) { return zapret2::run(argc, argv); }
