#include "runjournal.h"

#include "checkenvironment.h"
#include "statedirectory.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 RecordLimit = 16 * 1024 * 1024;

} // namespace

QJsonObject RunJournal::Record::toJson() const
{
    return QJsonObject { { QStringLiteral("uid"), double(uid) }, { QStringLiteral("user"), user },
        { QStringLiteral("home"), home }, { QStringLiteral("package"), packageName },
        { QStringLiteral("sha256"), sha256 }, { QStringLiteral("signer"), signer },
        { QStringLiteral("upgradeType"), upgradeType },
        { QStringLiteral("cveId"), patchSerial }, { QStringLiteral("plan"), plan.toJson() },
        { QStringLiteral("stage"), stage }, { QStringLiteral("attempts"), attempts },
        { QStringLiteral("startedAt"), double(startedAt) },
        { QStringLiteral("stageSeconds"), stageSeconds },
        { QStringLiteral("stageStartedAt"), double(stageStartedAt) },
        { QStringLiteral("postHooksDone"), QJsonArray::fromStringList(postHooksDone) },
        { QStringLiteral("id"), id } };
}

RunJournal::Record RunJournal::Record::fromJson(const QJsonObject &object)
{
    Record record;
    record.uid = uid_t(object.value(QStringLiteral("uid")).toDouble());
    record.user = object.value(QStringLiteral("user")).toString();
    record.home = object.value(QStringLiteral("home")).toString();
    record.packageName = object.value(QStringLiteral("package")).toString();
    record.sha256 = object.value(QStringLiteral("sha256")).toString();
    record.signer = object.value(QStringLiteral("signer")).toString();
    record.upgradeType = object.value(QStringLiteral("upgradeType")).toInt();
    record.patchSerial = object.value(QStringLiteral("cveId")).toString();
    record.plan = OfflineUpdate::UpgradePlan::fromJson(object.value(QStringLiteral("plan")).toObject());
    record.stage = object.value(QStringLiteral("stage")).toString();
    record.attempts = object.value(QStringLiteral("attempts")).toInt();
    record.startedAt = qint64(object.value(QStringLiteral("startedAt")).toDouble());
    record.stageSeconds = object.value(QStringLiteral("stageSeconds")).toObject();
    record.stageStartedAt = qint64(object.value(QStringLiteral("stageStartedAt")).toDouble());
    for (const QJsonValue &script : object.value(QStringLiteral("postHooksDone")).toArray())
        record.postHooksDone << script.toString();
    record.id = object.value(QStringLiteral("id")).toString();
    return record;
}

void RunJournal::Record::enter(const QString &next, qint64 now)
{
    if (!stage.isEmpty() && stageStartedAt > 0)
        stageSeconds.insert(stage,
            stageSeconds.value(stage).toDouble() + double(qMax<qint64>(0, now - stageStartedAt)));
    stage = next;
    stageStartedAt = now;
}

QJsonObject RunJournal::historyEntry(const Record &record, const QString &outcome,
    const QString &key, const QString &detail, bool resumed)
{
    QJsonArray replaced;
    for (const OfflineUpdate::ReplacedConfigFile &file : record.plan.replacedConfigFiles)
        replaced.append(file.path);
    return QJsonObject { { QStringLiteral("kind"), QStringLiteral("upgrade") },
        { QStringLiteral("id"), record.id },
        { QStringLiteral("uid"), double(record.uid) }, { QStringLiteral("user"), record.user },
        { QStringLiteral("package"), record.packageName },
        { QStringLiteral("sha256"), record.sha256 }, { QStringLiteral("signer"), record.signer },
        { QStringLiteral("upgradeType"), record.upgradeType },
        { QStringLiteral("cveId"), record.patchSerial },
        { QStringLiteral("planned"),
            QJsonObject { { QStringLiteral("upgraded"), record.plan.upgraded.size() },
                { QStringLiteral("installed"), record.plan.installed.size() },
                { QStringLiteral("removed"), record.plan.removed.size() } } },
        { QStringLiteral("outcome"), outcome }, { QStringLiteral("reasonKey"), key },
        { QStringLiteral("reasonDetail"), detail.left(4096) },
        { QStringLiteral("stageSeconds"), record.stageSeconds },
        { QStringLiteral("replacedConfigFiles"), replaced },
        { QStringLiteral("attempts"), record.attempts },
        { QStringLiteral("resumed"), resumed } };
}

bool RunJournal::begin(
    const CheckEnvironment &environment, int copyFd, const Record &record, QString *error)
{
    const FileDescriptor packages = StateDirectory::packages(environment, error);
    if (!packages.isValid())
        return false;
    // An unnamed copy can get a name only once: a second attempt of the same run finds it
    // named already.
    struct stat copy = {};
    struct stat named = {};
    if (fstat(copyFd, &copy) == 0 && fstatat(packages.get(), CopyName, &named, AT_SYMLINK_NOFOLLOW) == 0
        && copy.st_dev == named.st_dev && copy.st_ino == named.st_ino)
        return update(environment, record, error);
    unlinkat(packages.get(), CopyName, 0);
    const QByteArray self = QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(copyFd);
    if (linkat(AT_FDCWD, self.constData(), packages.get(), CopyName, AT_SYMLINK_FOLLOW) != 0
        || fsync(packages.get()) != 0) {
        *error = QStringLiteral("cannot keep the package's copy: ") + qt_error_string(errno);
        return false;
    }
    return update(environment, record, error);
}

bool RunJournal::update(const CheckEnvironment &environment, const Record &record, QString *error)
{
    const FileDescriptor state = StateDirectory::open(environment, error);
    return state.isValid()
        && StateDirectory::replaceFile(state.get(), RecordName,
            QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n', error);
}

bool RunJournal::load(const CheckEnvironment &environment, Record *record)
{
    QString error;
    const FileDescriptor state = StateDirectory::open(environment, &error);
    QByteArray content;
    if (!state.isValid() || !StateDirectory::readFile(state.get(), RecordName, RecordLimit, &content))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(content);
    if (!document.isObject())
        return false;
    *record = Record::fromJson(document.object());
    return true;
}

bool RunJournal::exists(const CheckEnvironment &environment)
{
    Record record;
    return load(environment, &record);
}

FileDescriptor RunJournal::openCopy(const CheckEnvironment &environment)
{
    QString error;
    const FileDescriptor packages = StateDirectory::packages(environment, &error);
    if (!packages.isValid())
        return {};
    return FileDescriptor(
        openat(packages.get(), CopyName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
}

void RunJournal::end(const CheckEnvironment &environment, bool keepCopy)
{
    QString error;
    const FileDescriptor state = StateDirectory::open(environment, &error);
    if (state.isValid()) {
        unlinkat(state.get(), RecordName, 0);
        fsync(state.get());
    }
    if (keepCopy)
        return;
    const FileDescriptor packages = StateDirectory::packages(environment, &error);
    if (packages.isValid())
        unlinkat(packages.get(), CopyName, 0);
}
