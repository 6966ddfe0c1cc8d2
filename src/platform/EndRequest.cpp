// Ending cleanly on SIGTERM, SIGINT and SIGHUP: the signal is passed to the UI thread through a pipe.
#include "EndRequest.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t requests = 0;

void requested(int signal)
{
    if (requests != 0)
        ::_exit(128 + signal); // asked again while ending: at once
    requests = 1;
    const char byte = static_cast<char>(signal);
    (void)!::write(signalPipe[1], &byte, 1);
}

} // namespace

void onEndRequest(QObject* context, std::function<void()> end)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [end = std::move(end)] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        end();
    });
    struct sigaction action {};
    action.sa_handler = requested;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace platform
