#include "signals.h"

#include <csignal>

void ignore_write_signals() {
  // Not every platform has these (Windows has neither): there, a refused
  // write already comes back short.
#ifdef SIGPIPE
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
#endif
#ifdef SIGXFSZ
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
}
