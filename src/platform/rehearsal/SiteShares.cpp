#include "platform/rehearsal/SiteShares.h"

#include "platform/NTDShare.h"
#include "platform/host/RegistryShares.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/samba/Credentials.h"
#include "platform/samba/LibNetApi.h"
#include "platform/samba/ResultCodes.h"
#include "platform/samba/SharePaths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

namespace orvane::rehearsal {

namespace {

namespace lib = samba::lib;

QString qt(const std::string& text) {
    return QString::fromUtf8(text);
}

[[noreturn]] void failRead(const QString& what, lib::Status status) {
    throw CopyError(QStringLiteral("cannot %1: %2 (%3)")
                        .arg(what, qt(lib::errorText(status)))
                        .arg(status)
                        .toStdString());
}

// Samba refuses a new share before it runs the site's add share command
// when it has none (access denied), then when the name is taken (file
// exists), then when the share is no folder: a printer queue under a
// taken name learns the first answer, and can never be made.
bool takesNewShares(const lib::Server& server, const QString& takenName) {
    const QByteArray name = takenName.toUtf8();
    lib::NewShare probe;
    probe.name = name.constData();
    probe.remark = "";
    probe.path = "C:\\";
    probe.type = STYPE_PRINTQ;
    std::uint32_t parameter = 0;
    const lib::Status status = lib::shareAdd(server, probe, parameter);
    if (status == samba::ERROR_FILE_EXISTS || status == NERR_DuplicateShare)
        return true;
    if (status != ERROR_ACCESS_DENIED)
        std::fprintf(stderr,
                     "orvane-rehearse: whether the server takes new shares is unknown (%s); the "
                     "copy takes none\n",
                     lib::errorText(status).c_str());
    return false;
}

} // namespace

SiteShares readSiteShares(const QString& server) {
    std::string why;
    std::optional<lib::Credentials> credentials = samba::takeCredentialsFromEnvironment(why);
    if (!credentials)
        throw CopyError("cannot log on to read the shares: " + why);
    if (const lib::Status opened = lib::open(*credentials); opened != lib::kSuccess)
        failRead(QStringLiteral("log on to read the shares"), opened);
    const lib::Server target = server.toStdString();
    SiteShares found;
    std::uint32_t resume = 0;
    lib::Status status = lib::kMoreData;
    while (status == lib::kMoreData) {
        std::vector<lib::Share> batch;
        status = lib::shareEnum(target, 0xffffffff, resume, batch);
        if (status != lib::kSuccess && status != lib::kMoreData)
            failRead(QStringLiteral("list the server's shares"), status);
        for (const lib::Share& share : batch)
            if ((share.type & STYPE_MASK) == STYPE_DISKTREE && !(share.type & STYPE_SPECIAL))
                found.shares.push_back(
                    {qt(share.name), samba::localSharePath(qt(share.path)), qt(share.remark)});
    }
    if (!found.shares.empty())
        found.takesNewShares = takesNewShares(target, found.shares.front().name);
    lib::close();
    return found;
}

QByteArray sharesToText(const SiteShares& shares) {
    QJsonArray list;
    for (const SiteShare& share : shares.shares)
        list.append(QJsonObject{{QStringLiteral("name"), share.name},
                                {QStringLiteral("path"), share.path},
                                {QStringLiteral("remark"), share.remark}});
    return QJsonDocument(QJsonObject{{QStringLiteral("shares"), list},
                                     {QStringLiteral("takesNewShares"), shares.takesNewShares}})
        .toJson(QJsonDocument::Compact);
}

SiteShares sharesFromText(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    const QJsonObject top = document.object();
    if (error.error != QJsonParseError::NoError || !top.value(u"shares").isArray() ||
        !top.value(u"takesNewShares").isBool())
        throw CopyError("the server's shares were not read whole");
    SiteShares shares;
    shares.takesNewShares = top.value(u"takesNewShares").toBool();
    for (const QJsonValue& value : top.value(u"shares").toArray()) {
        const QJsonObject share = value.toObject();
        shares.shares.push_back({share.value(u"name").toString(), share.value(u"path").toString(),
                                 share.value(u"remark").toString()});
    }
    return shares;
}

QStringList sectionsOf(const QByteArray& smbConf) {
    static const QRegularExpression section(QStringLiteral("^\\s*\\[([^\\]]+)\\]\\s*$"),
                                            QRegularExpression::MultilineOption);
    QStringList names;
    for (const QRegularExpressionMatch& match : section.globalMatch(QString::fromUtf8(smbConf)))
        names << match.captured(1).trimmed().toLower();
    return names;
}

void carrySharesIntoCopy(const SiteShares& shares, const QString& copyConf) {
    QFile file(copyConf);
    if (!file.open(QIODevice::ReadOnly))
        failCopy(QStringLiteral("cannot read %1").arg(copyConf));
    const QStringList own = sectionsOf(file.readAll());
    const host::RegistryShares registry(copyConf);
    for (const SiteShare& share : shares.shares) {
        if (own.contains(share.name.toLower()))
            continue;
        const host::RegistryShares::Result result =
            registry.add(share.name, share.path, share.remark);
        using Outcome = host::RegistryShares::Outcome;
        if (result.outcome == Outcome::Unreachable)
            throw CopyError(QStringLiteral("cannot write the copy's shares: %1")
                                .arg(result.words)
                                .toStdString());
        if (result.outcome != Outcome::Done)
            std::fprintf(stderr, "orvane-rehearse: the share %s is not in the copy: %s\n",
                         share.name.toLocal8Bit().constData(),
                         result.words.toLocal8Bit().constData());
    }
}

} // namespace orvane::rehearsal
