#include "split/split_batch.h"

#include "common/filez.h"
#include "imaging/picture_file.h"
#include "split/split_cards.h"
#include "records/card_index_file.h"
#include "split/split_files.h"

#include <QDir>
#include <QHash>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <dirent.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

QList<QStringList> PairScans(const QStringList &names)
{
    QHash<QString, int> index;   // lower-case name to its place in names
    for (int i = 0; i < names.size(); ++i)
        index.insert(names[i].toLower(), i);
    auto backOf = [&](const QString &name) {
        const QString lower = name.toLower();
        const int voor = lower.lastIndexOf(QLatin1String("-voor"));
        if (voor >= 0)
            return index.value(QString(lower).replace(voor, 5, QLatin1String("-achter")), -1);
        const int dot = lower.lastIndexOf(QLatin1Char('.'));
        return index.value(dot > 0 ? lower.left(dot) + QLatin1String("-2") + lower.mid(dot) : lower + QLatin1String("-2"), -1);
    };
    std::vector<int> partner(size_t(names.size()), -1);
    for (int i = 0; i < names.size(); ++i) {
        const int back = backOf(names[i]);
        if (back >= 0 && back != i && partner[size_t(i)] < 0 && partner[size_t(back)] < 0) {
            partner[size_t(i)] = back;
            partner[size_t(back)] = i;
        }
    }
    QList<QStringList> jobs;
    for (int i = 0; i < names.size(); ++i) {
        const int back = partner[size_t(i)];
        if (back < 0)
            jobs << QStringList{names[i]};
        else if (backOf(names[i]) == back)
            jobs << QStringList{names[i], names[back]};
    }
    return jobs;
}

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

struct Job {
    QStringList scans;
    int cards = -1;   // -1 until its scans are read and searched
    QString skipped;  // why it gave no cards
    QStringList written;
    QList<CardRecord> records;  // with --record
};

// The jobs, taken in turn by the workers. A job's first name is known once
// every job before it has counted its cards; saving waits for that only.
class Batch {
public:
    Batch(const SplitOptions &o, const QString &folder, QList<QStringList> scans) : o(o), folder(folder)
    {
        for (QStringList &s : scans)
            jobs.push_back(Job{std::move(s), -1, {}, {}, {}});
        names.push_back(FirstCardName(o));
    }

    void work()
    {
        for (size_t i = next++; i < jobs.size() && !stopped(); i = next++)
            run(i);
    }

    bool stopped() const { return failed || g_interrupted; }

    const SplitOptions &o;
    const QString folder;
    std::vector<Job> jobs;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    QString failure;
    bool progress = false;

private:
    void run(size_t i)
    {
        Job &job = jobs[i];
        LoadedScans loaded;
        QString why;
        const bool found = LoadAndDetect(o, job.scans, loaded, why);
        const QString name = counted(i, found ? int(loaded.boxes.size()) : 0, found ? QString() : why);
        if (found && !name.isEmpty() && !SaveCards(o, job.scans, loaded, folder, name, [this] { return stopped(); }, job.written, why,
                                                     o.record ? &job.records : nullptr)) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!failed.exchange(true) && !g_interrupted)
                failure = why;
            changed.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++done;
        cards += int(job.written.size());
        show();
    }

    // Publishes job i's count and waits for its first name; empty when the run stops first.
    QString counted(size_t i, int count, const QString &why)
    {
        std::unique_lock<std::mutex> lock(mutex);
        jobs[i].cards = count;
        jobs[i].skipped = why;
        while (names.size() < jobs.size() && jobs[names.size() - 1].cards >= 0)
            names.push_back(NameAfter(names.back(), jobs[names.size() - 1].cards, o.digits));
        changed.notify_all();
        // Ctrl+C cannot wake anyone: look again now and then.
        while (names.size() <= i && !stopped())
            changed.wait_for(lock, std::chrono::milliseconds(100));
        return stopped() ? QString() : names[i];
    }

    // One line on a terminal that keeps its place.
    void show()
    {
        if (progress)
            std::fprintf(stderr, "\rkvnscan-split: %zu van %zu scans klaar, %d bestanden", done, jobs.size(), cards);
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<QString> names;   // first names of the jobs, as far as known
    size_t done = 0;
    int cards = 0;
};

bool CanList(const QString &folder, QString &why)
{
    DIR *dir = ::opendir(NativePath(folder).constData());
    if (!dir) {
        why = QStringLiteral("kan map [%1] niet lezen (%2)").arg(folder, SystemReason(errno));
        return false;
    }
    ::closedir(dir);
    return true;
}

} // namespace

int SplitBatch(const SplitOptions &o)
{
    const QString from = QDir::cleanPath(QDir::current().absoluteFilePath(o.batch));
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(o.out));
    QString why;
    if (!CanList(from, why))
        return Fail(why);
    QList<QStringList> pairs = PairScans(EntryNames(from, false));
    for (QStringList &p : pairs)
        for (QString &s : p)
            s = from + QLatin1Char('/') + s;
    if (pairs.isEmpty())
        return Fail(QStringLiteral("geen scans in map [%1]").arg(from));
    QStringList created;
    if (!MakeFolder(folder, created, why))
        return Fail(why);

    Batch batch(o, folder, pairs);
    batch.progress = ::isatty(STDERR_FILENO);
    struct sigaction interrupt = {}, before = {};
    interrupt.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &interrupt, &before);
    // Savers of the image library's kinds run one at a time.
    const bool direct = HasDirectWriter(QStringLiteral("kaart") + o.type);
    const int cores = direct ? int(std::max(1u, std::thread::hardware_concurrency())) : 1;
    std::vector<std::thread> workers;
    for (int i = 1; i < std::min(cores, int(pairs.size())); ++i)
        workers.emplace_back([&batch] { batch.work(); });
    batch.work();
    for (std::thread &t : workers)
        t.join();
    ::sigaction(SIGINT, &before, nullptr);
    if (batch.progress)
        std::fputc('\n', stderr);

    QStringList written, index;
    QList<CardRecord> records;
    for (const Job &job : batch.jobs) {
        written << job.written;
        records << job.records;
    }
    why = batch.failure;
    if ((batch.failed && !g_interrupted) || (o.record && !UpdateCardIndex(folder, records, index, why))) {
        RemoveWritten(written, created);
        return Fail(why);
    }
    for (const QString &p : written + index)
        Print(stdout, p);
    if (g_interrupted)
        return Fail(QStringLiteral("gestopt met Ctrl+C; de %1 geschreven bestanden zijn heel en blijven staan")
                        .arg(written.size()), 130);
    int skipped = 0;
    for (const Job &job : batch.jobs)
        if (!job.skipped.isEmpty() && ++skipped)
            Fail(job.skipped + QStringLiteral("; overgeslagen"));
    return skipped > 0 ? 1 : 0;
}
