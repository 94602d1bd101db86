// uses-programs: (the tools its callers name: samba-tool, klist, kinit)
#include "platform/rehearsal/CopyStep.h"

#include "platform/rehearsal/SiteCopy.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <csignal>
#include <sys/prctl.h>

namespace orvane::rehearsal {

QString lastLines(const QString& words, int count) {
    // samba-tool says what went wrong on its ERROR lines, and follows an
    // uncaught one with Python's traceback, which says nothing to a reader.
    QStringList lines = words.trimmed().split(u'\n');
    const QStringList errors = lines.filter(QRegularExpression(QStringLiteral("^ERROR")));
    if (!errors.isEmpty())
        lines = errors;
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(u'\n');
}

QString runCopyStep(const QString& program, const QStringList& arguments,
                    const QStringList& environment, std::chrono::seconds deadline) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // A kill -9 of this process must not leave the step running.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
    process.start();
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    const QString words = QString::fromLocal8Bit(process.readAll());
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        throw CopyError(QStringLiteral("%1 did not end within %2 s\n%3")
                            .arg(program)
                            .arg(deadline.count())
                            .arg(lastLines(words))
                            .toStdString());
    }
    if (process.error() == QProcess::FailedToStart)
        throw CopyError(QStringLiteral("cannot start %1: %2")
                            .arg(program, process.errorString())
                            .toStdString());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw CopyError(lastLines(words).toStdString());
    return words;
}

bool waitWithEvents(const std::function<bool()>& ready, const std::function<bool()>& failed,
                    std::chrono::seconds deadline) {
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (failed() || clock.elapsed() > std::chrono::milliseconds(deadline).count())
            return false;
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace orvane::rehearsal
