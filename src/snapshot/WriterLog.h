#pragma once
// Request classes of this subsystem log through the host log writer with context 0.
namespace isilon {
namespace snapshot {
void WriterLog(const char* function, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
}  // namespace snapshot
}  // namespace isilon
