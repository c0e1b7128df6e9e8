// The host's observer of the blocking waits.
#include <utility>

#include "isilon/ManageIsilon.h"

void ManageIsilon::SetWaitObserver(WaitObserver observer) { waitObserver_ = std::move(observer); }
