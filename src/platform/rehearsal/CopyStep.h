#pragma once

// A step of making a copy that a program of Samba's does, run while the
// caller's event loop goes on (a progress window stays drawn).

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

namespace orvane::rehearsal {

// Runs program with arguments and exactly the environment given ("NAME=
// value"; secrets go there, never on the command line), killed if this
// process goes first. Returns what it wrote; throws CopyError with the last
// lines of it when it fails or outlasts the deadline.
QString runCopyStep(const QString& program, const QStringList& arguments,
                    const QStringList& environment, std::chrono::seconds deadline);

// Waits, the event loop running, until ready() says yes (true), failed()
// says the wait is in vain, or the deadline passes (false).
bool waitWithEvents(const std::function<bool()>& ready, const std::function<bool()>& failed,
                    std::chrono::seconds deadline);

// The last lines of a program's words, for a message: its ERROR lines
// where it wrote some (samba-tool's), else its last lines.
QString lastLines(const QString& words, int count = 8);

} // namespace orvane::rehearsal
