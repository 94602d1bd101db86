// Creates accounts PREFIX0, PREFIX1, ... on the machine in FOLDER and puts each
// in Users, until it is killed: the writer that the crash test kills.

#include "NetApiCalls.h"

#include "platform/embedded/EmbeddedNetApi.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER PREFIX\n", argv[0]);
        return 2;
    }
    orvane::embedded::EmbeddedNetApi api(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    for (unsigned long i = 0;; ++i) {
        const QString name = prefix + QString::number(i);
        if (orvane::test::addUser(api, name) != NERR_Success ||
            orvane::test::addMembers(api, {}, QStringLiteral("Users"), {name}) != NERR_Success)
            return 1;
    }
}
