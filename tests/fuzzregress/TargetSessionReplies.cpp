// The fuzz target fuzz_session_replies under its own name, for the replay test.
#define LLVMFuzzerTestOneInput FuzzSessionReplies
#include "fuzz/fuzz_session_replies.cpp"
