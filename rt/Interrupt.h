// SIGINT, SIGTERM and SIGHUP stop a run: the handler only notes the signal, and the next
// file read or write raises EInterrupted, so the run unwinds through its normal cleanup.
#pragma once

#include "rt/Exception.h"

namespace voltrane {

VOLTRANE_ERROR_KIND(EInterrupted, Exception);

void InstallInterruptHandlers();
// The signal that asked the run to stop, or 0.
int InterruptSignal();
// Raises EInterrupted ("Interrupted by SIGINT") once a signal has arrived.
void CheckInterrupted();

}  // namespace voltrane
