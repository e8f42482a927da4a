#pragma once
// Line speed of a terminal, read and set through the termios2 interface so
// that non-standard speeds such as 14400 baud work (they have no B constant;
// they are set with BOTHER and an explicit speed).
//
// On a Linux pseudo-terminal the master and the slave share the slave's
// settings, so reading the master tells what the program on the slave set.

namespace tw::boardsim {

// Output speed in baud, or -1 when the descriptor is no terminal.
int read_line_speed(int fd);

// Sets input and output speed to `baud`. Returns false (errno set) on failure.
bool set_line_speed(int fd, int baud);

}  // namespace tw::boardsim
