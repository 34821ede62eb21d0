#include "StopSignals.h"

#include <signal.h>

#include <initializer_list>

void CatchStopSignals(void (*handler)(int))
{
    struct sigaction stop = {};
    stop.sa_handler = handler;
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current = {};
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaction(signalNumber, &stop, nullptr);
    }
}
