// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli::interrupt {
namespace {

volatile std::sig_atomic_t g_requested = 0;
int g_pipe[2] = {-1, -1};
Module1::Lane g_lane;

// Only what is safe in a signal handler: the flag and one byte into the pipe; the event loop
// does the rest.
void onSigint(int) {
    g_requested = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

void install() {
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction inherited = {};
    if (sigaction(SIGINT, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
        return; // started in the background, where Ctrl+C is not meant for us
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // Ctrl+C then simply ends the program
    auto* notifier =
        new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        g_lane.abort();
    });
    struct sigaction action = {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART; // the second Ctrl+C is not caught
    sigaction(SIGINT, &action, nullptr);
}

bool requested() {
    return g_requested != 0;
}

Module1::Lane& lane() {
    return g_lane;
}

} // namespace cli::interrupt
