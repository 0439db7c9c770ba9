#include "rt/Interrupt.h"

#include "rt/Platform.h"

namespace voltrane {

std::atomic<int> gInterruptSignal{0};

void RaiseInterrupted() {
  throw EInterrupted("Interrupted by " + InterruptName(InterruptSignal()));
}

}  // namespace voltrane
