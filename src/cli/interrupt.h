// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/module1.h"

namespace cli {

// Ctrl+C as the window's stop button: the program's fetches go on one lane, and the first
// SIGINT aborts the one in flight and asks the work to stop; a second one ends the program
// at once. A closed pipe is left to the writes, which see EPIPE.
namespace interrupt {

// Before any fetch, with the application object in place.
void install();
bool requested();
Module1::Lane& lane();

} // namespace interrupt
} // namespace cli
