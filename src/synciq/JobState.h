#pragma once
// The cluster's job state strings and the state enumeration.
#include <string>

#include "isilon/IsilonJSON.h"

namespace isilon {
namespace synciq {

// Job list reading: every state the job list can report.
eIsilonSyncIQJobState JobStateFromText(const std::string& state);
// Report reading: only the states a finished or ending job has; "scheduled" and "paused" give none.
eIsilonSyncIQJobState ReportStateFromText(const std::string& state);
// The job list filter of a state, empty for states without one.
const char* JobStateFilter(const eIsilonSyncIQJobState& state);

}  // namespace synciq
}  // namespace isilon
