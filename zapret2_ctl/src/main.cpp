#include "dispatch.h"

int main(int argc, char** argv) {
    return zapret2_ctl::run(argc, argv);
}
