#define LLVMFuzzerTestOneInput FuzzSessionReplies
#include "fuzz/fuzz_session_replies.cpp"
