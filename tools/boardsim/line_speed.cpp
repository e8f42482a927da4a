// This file may not include <termios.h>: its struct termios clashes with the
// kernel's definitions that termios2 needs.
#include "boardsim/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tw::boardsim {

int read_line_speed(int fd) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return -1;
    return static_cast<int>(settings.c_ospeed);
}

bool set_line_speed(int fd, int baud) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ospeed = static_cast<unsigned>(baud);
    settings.c_ispeed = static_cast<unsigned>(baud);
    return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace tw::boardsim
