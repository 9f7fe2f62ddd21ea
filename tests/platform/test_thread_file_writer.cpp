#include "platform/locked_file.h"
#include "platform/thread_file_writer.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

FileWriter::LineComposer fixed(const QByteArray& line)
{
    return [line](const QByteArray&) {
        return line;
    };
}

// One more than the number the file ends with.
QByteArray nextNumber(const QByteArray& tail)
{
    const QByteArray last = tail.chopped(2);
    return QByteArray::number(last.mid(last.lastIndexOf('\n') + 1).toInt() + 1) + "\r\n";
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestThreadFileWriter : public QObject {
    Q_OBJECT
private slots:
    void linesFromTwoWritersStayWholeAndFailuresAreLogged();
    void lineCutShortOrTakenBackLeavesWholeLines();
    void stalledFileHoldsUpNoCaller();
};

void TestThreadFileWriter::linesFromTwoWritersStayWholeAndFailuresAreLogged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"new/talks.csv"_s);
    ThreadFileWriter writers[2];
    // Failures are logged, and the rest written.
    const QString notAFolder = dir.filePath(u"file"_s);
    QFile(notAFolder).open(QIODevice::WriteOnly);
    // A folder that cannot be made says why, not that the file is missing.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/file/talks.csv: (?!No such)"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot save .*/file/Lectern.count: (?!No such)"_s));
    writers[1].appendLine(notAFolder + u"/talks.csv"_s, fixed("lost\r\n"), {});
    writers[1].replaceWhole(notAFolder + u"/Lectern.count"_s, "lost");
#ifdef Q_OS_LINUX
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to /sys/lectern/talks.csv: (?!No such)"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot save /sys/lectern/Lectern.count: (?!No such)"_s));
    writers[1].appendLine(u"/sys/lectern/talks.csv"_s, fixed("lost\r\n"), {});
    writers[1].replaceWhole(u"/sys/lectern/Lectern.count"_s, "lost");
#endif
    // Each line is made from the file's end as it is under the lock, whichever writer adds it.
    writers[0].appendLine(path, fixed("1\r\n"), "0\r\n");
    QVERIFY(writers[0].waitUntilIdle(10s));
    QByteArray expected = "0\r\n1\r\n";
    for (int i = 0; i < 200; ++i) {
        writers[i % 2].appendLine(path, nextNumber, "0\r\n");
        expected += QByteArray::number(i + 2) + "\r\n";
    }
    QVERIFY(writers[0].waitUntilIdle(10s) && writers[1].waitUntilIdle(10s));
    QCOMPARE(contents(path), expected);
}

void TestThreadFileWriter::lineCutShortOrTakenBackLeavesWholeLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"talks.csv"_s);
    ThreadFileWriter writer;
    writer.appendLine(path, fixed("a\r\n"), "header\r\n");
    QVERIFY(writer.waitUntilIdle(10s));
#ifdef Q_OS_LINUX
    // A file-size limit cuts the write short, as a full disk does.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{20, limit.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^cannot append to .*/talks.csv: File too large"_s));
    writer.appendLine(path, fixed("a line past the limit\r\n"), {});
    const bool written = writer.waitUntilIdle(10s);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(written);
#endif
    // A line is taken back while it is the last, the header never.
    writer.appendLine(path, fixed("b\r\n"), {});
    for (const char* line : {"b", "b", "header"})
        writer.withdrawLastLine(path, [line](const QByteArray& last) { return last == line; });
    QVERIFY(writer.waitUntilIdle(10s));
    QCOMPARE(contents(path), "header\r\na\r\n");
}

void TestThreadFileWriter::stalledFileHoldsUpNoCaller()
{
    // The list's lock held elsewhere waits, as a hung network share would.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"talks.csv"_s);
    const QString state = dir.filePath(u"Lectern.count"_s);
    auto holder = std::make_unique<LockedFile>(fifo, true);
    QCOMPARE(holder->openError(), 0);
#ifdef Q_OS_LINUX
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0 && ::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_MOVED_TO) >= 0);
#endif

    {
        ThreadFileWriter writer(200ms);
        writer.appendLine(fifo, fixed("line\r\n"), {});
        for (const char* bytes : {"1", "2", "3"})
            writer.replaceWhole(state, bytes);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^files not written after 200 ms"_s));
    }

    // Once the lock is free, the thread left behind writes only the latest state.
    holder.reset();
    QTRY_COMPARE_WITH_TIMEOUT(QFile(state).exists(), true, 10000);
    QFile saved(state);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), "3");
#ifdef Q_OS_LINUX
    alignas(inotify_event) char events[4096];
    const ssize_t got = ::read(watch, events, sizeof events);
    QCOMPARE(got, ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events)->len));
    QCOMPARE(reinterpret_cast<inotify_event*>(events)->name, "Lectern.count");
    ::close(watch);
#endif
}

QTEST_GUILESS_MAIN(TestThreadFileWriter)
#include "test_thread_file_writer.moc"
