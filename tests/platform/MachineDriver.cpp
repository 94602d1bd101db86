// Opens the machine in FOLDER the way the program does (the backend the
// environment names, then the registry, whose home root is read at start-up)
// and carries out one command per line of standard input, answering each on
// standard output once it is done:
//   add NAME PASSWORD     ->  NAME STATUS      (then joins Users, as a numbered run)
//   home PATH             ->  home 0|1         (writes the home root)
//   home?                 ->  home PATH
// The tests that drive it from outside run it beside sqlite3 and a second
// copy of itself, and kill it.

#include "NetApiCalls.h"

#include "platform/RegistryKey.h"
#include "platform/netapi/Backend.h"

#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

namespace {
const QString kConfigKey = QStringLiteral("SOFTWARE\\ROrirAridEzo\\");
const QString kHomePathValue = QStringLiteral("MHomePath");
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const auto net = orvane::createNetApi(folder);
    orvane::MachineRegistry registry(folder);
    orvane::RegistryKey(registry, kConfigKey, true).ReadString(kHomePathValue);

    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        QString answer;
        if (words.size() == 3 && words[0] == u"add") {
            NET_API_STATUS status = orvane::test::addUser(*net, words[1], words[2]);
            if (status == NERR_Success)
                status = orvane::test::addMembers(*net, {}, QStringLiteral("Users"), {words[1]});
            answer = words[1] + u' ' + QString::number(status);
        } else if (words.size() == 2 && words[0] == u"home") {
            orvane::RegistryKey key(registry, kConfigKey, true);
            try {
                key.WriteString(kHomePathValue, words[1]);
                answer = QStringLiteral("home 0");
            } catch (...) {
                answer = QStringLiteral("home 1");
            }
        } else if (words.size() == 1 && words[0] == u"home?") {
            answer = QStringLiteral("home ") +
                     orvane::RegistryKey(registry, kConfigKey, true).ReadString(kHomePathValue);
        } else {
            answer = QStringLiteral("? ") + QString::fromStdString(line);
        }
        std::cout << answer.toStdString() << std::endl;
    }
    return 0;
}
