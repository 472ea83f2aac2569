// Arbitrary bytes as a guided run's state (and, led by a first byte, as its
// plan) in a run folder beside a real plan: the folder is either refused
// with the file named, or opened and taken up through every choice of the
// operator's without a read or write outside what the plan holds.

#include "guided/guidedlink.h"
#include "guided/guidedrun.h"
#include "guided/guidedvalidate.h"
#include "link/protocolcomhart.h"

#include "fuzzjson.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Folder
{
    // Every input saves the state a few times: in memory where there is a
    // place for it, so that the saves' syncs do not wait for the disk.
    QTemporaryDir dir{QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/fuzz_guidedrun-XXXXXX")
                                                                         : QDir::temp().filePath(QStringLiteral("fuzz_guidedrun-XXXXXX"))};
    QString runDir;
    QByteArray plan, state;
    std::unique_ptr<protocolComHart> link;
    std::unique_ptr<GuidedLink> guided;
};

bool put(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

Folder &folder()
{
    static Folder *f = [] {
        auto *f = new Folder;
        f->runDir = f->dir.filePath(QStringLiteral("run"));
        f->link.reset(new protocolComHart(nullptr, QStringLiteral("no-such-file")));
        f->guided.reset(new GuidedLink(f->link.get()));
        QVector<GuidedDevice> devices;
        for (int a = 1; a <= 2; ++a) {
            GuidedDevice d;
            d.address = a;
            d.haveSerial = true;
            d.serial = 3920000u + uint32_t(a);
            d.pmaxPa = d.pvPa = 100000;
            devices.append(d);
        }
        GuidedRun run(f->guided.get());
        QString why;
        if (!run.create(f->runDir, GuidedPlan::defaults(devices), &why))
            std::abort();
        QFile plan(GuidedFiles::planFile(f->runDir)), state(GuidedFiles::stateFile(f->runDir));
        if (!plan.open(QIODevice::ReadOnly) || !state.open(QIODevice::ReadOnly))
            std::abort();
        f->plan = plan.readAll();
        f->state = state.readAll();
        return f;
    }();
    return *f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Folder &f = folder();
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const bool asPlan = data[0] & 1;
    const QString planPath = GuidedFiles::planFile(f.runDir), statePath = GuidedFiles::stateFile(f.runDir);
    if (!put(planPath, asPlan ? bytes : f.plan) || !put(statePath, asPlan ? f.state : bytes))
        std::abort();

    GuidedRun run(f.guided.get());
    QString why;
    if (!run.open(f.runDir, &why)) {
        // Refused: said with the file.
        if (!why.contains(QDir::toNativeSeparators(asPlan ? planPath : statePath)))
            std::abort();
        return 0;
    }
    run.progressText();
    run.request();
    run.start();
    run.confirm();
    QCoreApplication::processEvents();
    run.redoLastPoint();
    run.answerFit(true);
    run.skipDevice(data[0] >> 1 & 1);
    run.resume();
    QCoreApplication::processEvents();
    run.abort(QStringLiteral("fuzz"));
    // Point files and reports the run may have written go with the run.
    for (int i = 0; i < run.plan().devices.size(); ++i)
        QDir(run.deviceDir(i)).removeRecursively();
    return 0;
}
