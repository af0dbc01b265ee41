// Linked into a copy of the program for the end-to-end tests: every decode
// stops where it starts its pixels and stays there until it is cancelled,
// so a picture is reliably still being decoded while the test presses keys,
// however fast the machine.
#include "imaging/load_control.h"

namespace {

const brelvix::PxLoadHold hold;

}  // namespace
