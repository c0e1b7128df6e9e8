// The host's observer of the blocking waits, kept with the rest of the session.
#include "isilon/ManageIsilon.h"
#include "src/session/Session.h"

void ManageIsilon::SetWaitObserver(WaitObserver observer) { session_->waitObserver = std::move(observer); }

const ManageIsilon::WaitObserver& ManageIsilon::CurrentWaitObserver() const { return session_->waitObserver; }
