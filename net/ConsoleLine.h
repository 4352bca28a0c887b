#pragma once

class QByteArray;

// Diagnostic lines of the server link go to standard output, one line each,
// flushed at once so that they interleave correctly with other threads'
// output and survive a crash that follows them.
namespace ConsoleLine {

void write(const QByteArray &text);
void write(const char *text);

} // namespace ConsoleLine
