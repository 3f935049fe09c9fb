// korvel: configures a USB modem when the hotplug handler reports it.
//   korvel                      banner
//   korvel <usb-id>             configure in the foreground
//   korvel add|remove <usb-id>  hotplug events
#include "run.h"

int main(int argc, char** argv) {
    return korvel::run_korvel(argc, argv);
}
