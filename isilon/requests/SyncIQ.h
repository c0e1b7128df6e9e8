#pragma once
// SyncIQ policies, jobs and reports.
#include <string>
#include <vector>

#include "isilon/IsilonJSON.h"

// Records and request classes are defined here as this subsystem is built.
struct _IsilonSyncIQPolicyInfo;
struct _IsilonSyncIQProperty;
struct _IsilonSyncIQJobInfo;
struct _IsilonSyncIQJobReportInfo;

// State of a SyncIQ job (32-bit, passed by const reference).
enum eIsilonSyncIQJobState {
  SYNCIQ_JOB_STATE_NONE = 0,
  SYNCIQ_JOB_STATE_RUNNING = 1,
  SYNCIQ_JOB_STATE_FINISHED = 2,
  SYNCIQ_JOB_STATE_FAILED = 3,
  SYNCIQ_JOB_STATE_CANCELED = 4,
  SYNCIQ_JOB_STATE_SCHEDULED = 5,
  SYNCIQ_JOB_STATE_PAUSED = 6,
};
